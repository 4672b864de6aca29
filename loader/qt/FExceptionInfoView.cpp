#include "loader/qt/FExceptionInfoView.h"

#include "loader/core/LoaderCore.h"
#include "platform/Format.h"
#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kLibraryFormProperty = "sarnupolexLibraryForm";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// On the thread of a GUI application (a host without one has no screen and no focus).
bool OnGuiThread()
{
    QCoreApplication* app = QCoreApplication::instance();
    return qobject_cast<QGuiApplication*>(app) && QThread::currentThread() == app->thread();
}

// The dialog: the view of one model, copying nothing back but the choice.
class ExceptionDialog : public QDialog {
public:
    ExceptionDialog(TExceptionDialog& model, QWidget* parent) : QDialog(parent), model_(model)
    {
        setObjectName("TExceptionDialog");
        setWindowTitle(Q(model_.Caption()));
        setMinimumWidth(kExceptionDialogMinWidth);
        MarkLibraryForm(this);

        auto* icon = new QLabel(this);
        icon->setObjectName("IconImage");
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        icon->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxCritical, nullptr, this).pixmap(size, size));
        icon->setAlignment(Qt::AlignTop);

        text_ = new QPlainTextEdit(this);
        text_->setObjectName("TextLabel");
        text_->setReadOnly(true);
        text_->setPlainText(Q(model_.Message()));
        text_->setToolTip(SExcTextHint);
        text_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        text_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        text_->setFrameShape(QFrame::NoFrame);
        text_->setFixedHeight(text_->fontMetrics().lineSpacing() * 4 + 8);
        text_->installEventFilter(this);

        auto* ok = MakeButton("OkBtn", SExcExit, TExceptionDialog::TChoice::Exit);
        ok->setDefault(true);
        ok->setAutoDefault(true);
        MakeButton("Button2", SExcRestart, TExceptionDialog::TChoice::Restart);
        auto* copy = new QPushButton(SExcCopy, this);
        copy->setObjectName("Button1");
        connect(copy, &QPushButton::clicked, this, [this] { Copy(); });
        details_ = new QPushButton(this);
        details_->setObjectName("DetailsBtn");
        details_->setToolTip(SExcDetailsHint);
        connect(details_, &QPushButton::clicked, this, [this] { ToggleDetails(); });

        memo_ = new QPlainTextEdit(this);
        memo_->setObjectName("DetailsMemo");
        memo_->setReadOnly(true);
        memo_->setLineWrapMode(QPlainTextEdit::NoWrap);
        memo_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        memo_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        memo_->installEventFilter(this);

        auto* buttons = new QVBoxLayout;
        for (const char* name : {"OkBtn", "Button2", "Button1", "DetailsBtn"})
            buttons->addWidget(findChild<QPushButton*>(name));
        buttons->addStretch();
        auto* top = new QHBoxLayout;
        top->addWidget(icon);
        top->addWidget(text_, 1);
        top->addLayout(buttons);
        auto* layout = new QVBoxLayout(this);
        layout->addLayout(top);
        layout->addWidget(memo_, 1);

        Refresh();
        resize(560, sizeHint().height());
    }

    // Shows the model's state: the details text and the area as the model has it.
    void Refresh()
    {
        QStringList lines;
        for (const std::string& line : model_.DetailsLines()) lines << Q(line);
        memo_->setPlainText(lines.join('\n'));
        details_->setEnabled(!model_.DetailsLines().empty());
        details_->setText(Q(model_.DetailsButtonCaption()));
        memo_->setVisible(model_.DetailsVisible());
        if (model_.DetailsVisible()) {
            setMaximumHeight(QWIDGETSIZE_MAX);
            resize(std::max(width(), 640), 480);
        } else {
            layout()->activate();
            setMaximumHeight(minimumSizeHint().height());
            resize(width(), minimumSizeHint().height());
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Copy)) {
                if (event->type() == QEvent::KeyPress) {
                    Copy();
                    QApplication::beep();
                }
                event->accept();
                return true;
            }
        }
        return QDialog::eventFilter(watched, event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Copy)) {
            Copy();
            QApplication::beep();
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    QPushButton* MakeButton(const char* name, const char* caption, TExceptionDialog::TChoice choice)
    {
        auto* button = new QPushButton(caption, this);
        button->setObjectName(name);
        connect(button, &QPushButton::clicked, this, [this, choice] {
            model_.Choose(choice);
            reject();
        });
        return button;
    }

    void Copy() { QGuiApplication::clipboard()->setText(Q(model_.ClipboardText())); }

    void ToggleDetails()
    {
        model_.ToggleDetails();
        Refresh();
    }

    TExceptionDialog& model_;
    QPlainTextEdit* text_ = nullptr;
    QPlainTextEdit* memo_ = nullptr;
    QPushButton* details_ = nullptr;
};

TExceptionDisplay* g_display = nullptr;

} // namespace

QDialog* BuildExceptionDialog(TExceptionDialog& model, QWidget* parent)
{
    ReadScreenFacts();
    model.BuildDetails();
    return new ExceptionDialog(model, parent);
}

std::shared_ptr<const platform::FormView> ExceptionDialogView()
{
    return platform::qt::MakeFormView([](platform::FormModel& model, QWidget* parent) -> QDialog* {
        auto* dialog = dynamic_cast<TExceptionDialog*>(&model);
        return dialog ? BuildExceptionDialog(*dialog, parent) : nullptr;
    });
}

void MarkLibraryForm(QWidget* form) { form->setProperty(kLibraryFormProperty, true); }

std::vector<std::string> ActiveControlChain()
{
    std::vector<std::string> lines;
    if (!OnGuiThread()) return lines;
    QWidget* focus = QApplication::focusWidget();
    if (!focus || !focus->window()->property(kLibraryFormProperty).toBool()) return lines;
    for (QWidget* w = focus; w; w = w->isWindow() ? nullptr : w->parentWidget())
        lines.push_back(platform::Format("%s \"%s\"", w->metaObject()->className(), w->objectName().toStdString().c_str()));
    return lines;
}

void ReadScreenFacts()
{
    if (!OnGuiThread()) return;
    TScreenFacts facts;
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        facts.Width = screen->size().width();
        facts.Height = screen->size().height();
        facts.Depth = screen->depth();
    }
    SetScreenFacts(facts);
}

void InstallExceptionDialog()
{
    if (g_display) return;
    ReadScreenFacts();
    SetActiveControlSource(ActiveControlChain);
    TExceptionDialogHost host = TExceptionDialogHost::ForProcess();
    host.Window = [] {
        TLoaderCore* core = CurrentLoaderCore();
        return core ? core->OperationWindow() : platform::HWND(0);
    };
    host.Title = []() -> std::string {
        if (!QCoreApplication::instance()) return platform::ApplicationTitle();
        const QString name = QGuiApplication::applicationDisplayName();
        return name.isEmpty() ? platform::ApplicationTitle() : name.toStdString();
    };
    host.Quit = [] {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
    };
    g_display = new TExceptionDisplay(ExceptionDialogView(), std::move(host));
    SetLibraryExceptionDisplay(g_display);
}

void RemoveExceptionDialog()
{
    SetLibraryExceptionDisplay(nullptr);
    SetActiveControlSource({});
    delete g_display;
    g_display = nullptr;
}
