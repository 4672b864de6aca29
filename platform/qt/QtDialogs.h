#pragma once

#include "platform/Dialogs.h"
#include "platform/PlatformApi.h"

#include <functional>
#include <memory>
#include <utility>

#include <QString>
#include <QStringList>

class QDialog;
class QFileDialog;
class QInputDialog;
class QMessageBox;
class QWidget;

namespace platform::qt {

// The dialog service of the program: Qt's message box, Qt's own (non-native) file
// dialog, the input dialog, the library's forms through their view factories, and the
// wait window. Dialogs are modal to the owner's widget (the main window when the owner
// is 0 or unknown). On the GUI thread a request runs directly; from another thread it
// is handed to the GUI thread, which the caller waits for. While the application is
// terminating, or when there is no GUI thread, requests from other threads are answered
// as closed dialogs without showing anything.
class PLATFORM_API QtDialogService : public DialogService {
public:
    QtDialogService();
    ~QtDialogService() override;

protected:
    MsgResult DoMessageBox(const MessageBoxRequest& request) override;
    FileDialogResult DoFileDialog(const FileDialogRequest& request) override;
    std::optional<std::string> DoInputQuery(const InputRequest& request) override;
    MsgResult DoShowForm(const FormRequest& request) override;
    std::unique_ptr<WaitWindow> DoShowWaitWindow(const WaitWindowRequest& request) override;
};

// Builds the Qt view of a form model: a dialog with parent as its parent. The service
// runs it modally and deletes it; OK when it was accepted, else Cancel.
using FormViewFactory = std::function<QDialog*(FormModel& model, QWidget* parent)>;

// The view of a form as the Qt dialog service builds it.
class PLATFORM_API QtFormView : public FormView {
public:
    explicit QtFormView(FormViewFactory make) : make_(std::move(make)) {}
    // The new dialog; nullptr when the factory is empty or makes none.
    QDialog* Make(FormModel& model, QWidget* parent) const { return make_ ? make_(model, parent) : nullptr; }

private:
    FormViewFactory make_;
};

// A form view for FormRequest::view.
inline std::shared_ptr<const FormView> MakeFormView(FormViewFactory make)
{
    return std::make_shared<QtFormView>(std::move(make));
}

// The view of the forms of one model class M, built by build; a model of another class
// gets no dialog.
template <class M>
std::shared_ptr<const FormView> MakeFormViewOf(QDialog* (*build)(M& model, QWidget* parent))
{
    return MakeFormView([build](FormModel& model, QWidget* parent) -> QDialog* {
        auto* form = dynamic_cast<M*>(&model);
        return form ? build(*form, parent) : nullptr;
    });
}

// Installs Qt's own Russian translation of its texts (the standard buttons, the file
// dialog's labels, columns and messages), "qtbase_ru.qm" from Qt's translations folder
// (Debian package qt6-translations-l10n), into the application; once, later calls
// change nothing. False when there is no application or the file cannot be loaded, and
// Qt's texts stay English. On the GUI thread.
PLATFORM_API bool InstallQtTranslation();

// Installs a QtDialogService in the process's slot, after Qt's Russian translation
// (InstallQtTranslation). Every deliverable that shows Qt dialogs installs it. On the GUI
// thread.
PLATFORM_API void InstallQtDialogService();

// The Russian caption of a standard button ("Да", "Нет", "OK", "Отмена" ...).
PLATFORM_API QString ButtonCaption(MsgResult result);

// The dialogs as the service builds them, not yet run, so that they can be looked at;
// GUI thread only. The caller owns the dialog.
PLATFORM_API QMessageBox* BuildMessageBox(const MessageBoxRequest& request, QWidget* parent);
// The answer of a box that has been run (clicked button, else its close answer).
PLATFORM_API MsgResult MessageBoxAnswer(const QMessageBox& box, MsgButtons buttons);
// Qt name filters of a filter string: "description (pattern pattern)"; "*.*" becomes "*".
PLATFORM_API QStringList QtNameFilters(const std::string& filter);
// Qt's own file dialog with the request's filters, folder and file; its sizes and dates
// in the Russian locale, and wide enough for its places and columns to show whole. (The
// file types are the system's descriptions, in the system's language.)
PLATFORM_API QFileDialog* BuildFileDialog(const FileDialogRequest& request, QWidget* parent);
PLATFORM_API FileDialogResult FileDialogAnswer(const QFileDialog& dialog, bool accepted);
PLATFORM_API QInputDialog* BuildInputDialog(const InputRequest& request, QWidget* parent);

} // namespace platform::qt
