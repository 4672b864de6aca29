#include "loader/qt/CmdDlgView.h"

#include "platform/qt/WinUtils.h"
#include "loader/qt/DialogButtons.h"
#include "loader/dialogs/FExceptionInfo.h"
#include "loader/qt/FExceptionInfoView.h"
#include "platform/ErrorDisplay.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtWindows.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The memo shows lines separated by LF; scripts keep CR LF.
QString MemoText(const std::string& script) { return Q(platform::NormalizeLineBreaks(script)); }
std::string ScriptText(QString memo) { return memo.replace("\n", "\r\n").toStdString(); }

} // namespace

TScriptDialog::TScriptDialog(TScriptDialogModel& model, QWidget* parent) : QDialog(parent), model_(model)
{
    setObjectName("TScriptDialog");
    setWindowTitle(QString::fromUtf8("Скрипты"));
    model_.SetOwner(platform::qt::RegisterWidget(this));
    MarkLibraryForm(this);

    list_ = new QListWidget;
    list_->setObjectName("CommandListBox");
    list_->setMinimumWidth(160);

    panel_ = new QWidget;
    panel_->setObjectName("ParamPanel");
    name_ = new QLineEdit;
    name_->setObjectName("NameEdit");
    name_->setMaxLength(kScriptNameMaxLength);
    help_ = new QLabel("?");
    help_->setObjectName("HelpLabel");
    help_->setToolTip(QString::fromUtf8(kScriptHelpText));
    help_->setToolTipDuration(kScriptHelpDuration);
    memo_ = new QPlainTextEdit;
    memo_->setObjectName("ScriptMemo");
    memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(name_, 1);
    nameRow->addWidget(help_);
    auto* form = new QVBoxLayout(panel_);
    form->setContentsMargins(0, 0, 0, 0);
    form->addWidget(new QLabel(QString::fromUtf8("Имя:")));
    form->addLayout(nameRow);
    form->addWidget(new QLabel(QString::fromUtf8("Скрипт:")));
    form->addWidget(memo_, 1);

    add_ = new QPushButton(QString::fromUtf8("Добавить"));
    add_->setObjectName("AddButton");
    remove_ = new QPushButton(QString::fromUtf8("Удалить"));
    remove_->setObjectName("RemoveButton");
    ok_ = new QPushButton(QString::fromUtf8("ОК"));
    ok_->setObjectName("OkButton");
    ok_->setDefault(true);
    cancel_ = new QPushButton(QString::fromUtf8("Отмена"));
    cancel_->setObjectName("CancelButton");

    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addWidget(panel_, 2);
    LayOutDialog(*this, top, {add_, remove_}, ok_, cancel_);
    resize(560, 380);

    Apply();
    Connect();
}

void TScriptDialog::Connect()
{
    connect(list_, &QListWidget::currentRowChanged, this, LibrarySlot([this](int row) {
                if (loading_) return;
                model_.Select(row);
                Apply();
            }));
    connect(name_, &QLineEdit::textEdited, this, LibrarySlot([this](const QString& text) {
                if (!loading_) model_.SetNameText(text.toStdString());
            }));
    connect(memo_, &QPlainTextEdit::textChanged, this, LibrarySlot([this] {
                if (!loading_) model_.SetScriptText(ScriptText(memo_->toPlainText()));
            }));
    ConnectDialogButtons(
        *this, {{add_, [this] { model_.Add(); }}, {remove_, [this] { model_.Remove(); }}}, ok_,
        [this] { return model_.Save(); }, cancel_, [this] { Apply(); });
}

void TScriptDialog::Apply()
{
    loading_ = true;
    bool same = list_->count() == model_.Count();
    for (int i = 0; same && i < model_.Count(); ++i) same = list_->item(i)->text() == Q(model_.ItemName(i));
    if (!same) {
        list_->clear();
        for (int i = 0; i < model_.Count(); ++i) list_->addItem(Q(model_.ItemName(i)));
    }
    if (list_->currentRow() != model_.CurrentIndex()) list_->setCurrentRow(model_.CurrentIndex());
    EnableChildren(panel_, model_.ControlsEnabled());
    if (name_->text() != Q(model_.NameText())) name_->setText(Q(model_.NameText()));
    if (memo_->toPlainText() != MemoText(model_.ScriptText())) memo_->setPlainText(MemoText(model_.ScriptText()));
    remove_->setEnabled(model_.RemoveEnabled());
    loading_ = false;
}

std::shared_ptr<const platform::FormView> ScriptFormView()
{
    return platform::qt::MakeFormView([](platform::FormModel& model, QWidget* parent) -> QDialog* {
        auto* editor = dynamic_cast<TScriptDialogModel*>(&model);
        return editor ? new TScriptDialog(*editor, parent) : nullptr;
    });
}
