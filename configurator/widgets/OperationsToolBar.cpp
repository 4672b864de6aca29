#include "configurator/widgets/OperationsToolBar.h"

#include "platform/ErrorDisplay.h"

#include <QAction>
#include <QComboBox>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>
#include <QWidgetAction>

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The object name of the gaps between groups of operations.
const QString kGapName = QStringLiteral("opGap");

// The host's image of an operation; a style icon stands in for the library's bitmaps.
QIcon OperationIcon(const QStyle* style, int code)
{
    struct Image {
        int code;
        QStyle::StandardPixmap pixmap;
    };
    static constexpr Image kImages[] = {
        {opSettings, QStyle::SP_ComputerIcon},        {opReadParams, QStyle::SP_ArrowDown},
        {opWriteParams, QStyle::SP_ArrowUp},          {opWriteFirmware, QStyle::SP_DriveHDIcon},
        {opReadEeprom, QStyle::SP_DialogSaveButton},  {opReadFlash, QStyle::SP_DialogSaveButton},
        {opWriteFirmwareAndParams, QStyle::SP_DriveHDIcon}, {opChooseFirmware, QStyle::SP_DialogOpenButton},
    };
    for (const Image& image : kImages)
        if (image.code == code) return style->standardIcon(image.pixmap);
    return style->standardIcon(QStyle::SP_CommandLink);
}

} // namespace

int ToolBarWidth(QToolBar* bar) { return bar->actions().isEmpty() ? 0 : bar->sizeHint().width(); }

TOperationsToolBar::TOperationsToolBar(QWidget* parent) : QToolBar(QStringLiteral("Операции"), parent)
{
    setObjectName(QStringLiteral("tbOperations"));
    setMovable(false);
    // Images of the size of the library's bitmaps.
    setIconSize(QSize(16, 16));
    // The command line, a bar of its own to share a row with either the operations or
    // the window's other bars.
    commandLine_ = new QToolBar(QStringLiteral("Командная строка"), parent);
    commandLine_->setObjectName(QStringLiteral("tbCommandLine"));
    commandLine_->setMovable(false);
}

void TOperationsToolBar::Build(const std::vector<TOperationEntry>& entries, bool enabled)
{
    setUpdatesEnabled(false);
    TakeDeviceCombo();
    // Actions made for the bars (widget actions take their widgets with them).
    for (QToolBar* bar : {static_cast<QToolBar*>(this), commandLine_})
        for (QAction* action : bar->actions()) {
            bar->removeAction(action);
            if (action->parent() == bar) delete action;
        }
    for (const TOperationEntry& entry : entries) AddEntry(entry, enabled);
    // A gap that ends the bar separates nothing (the command line has a bar of its own).
    const QList<QAction*> all = actions();
    if (!all.isEmpty())
        if (auto* gap = qobject_cast<QWidgetAction*>(all.last());
            gap && gap->defaultWidget() && gap->defaultWidget()->objectName() == kGapName) {
            removeAction(gap);
            delete gap;
        }
    setUpdatesEnabled(true);
}

void TOperationsToolBar::AddEntry(const TOperationEntry& entry, bool enabled)
{
    switch (entry.Kind) {
    case TOperationKind::Separator: {
        auto* gap = new QWidget;
        gap->setObjectName(kGapName);
        gap->setFixedWidth(8);
        addWidget(gap);
        return;
    }
    case TOperationKind::SendBox: {
        auto* label = new QLabel(QStringLiteral("   Командная строка: "));
        label->setAlignment(Qt::AlignVCenter | Qt::AlignLeft);
        commandLine_->addWidget(label);
        auto* box = new QComboBox;
        box->setObjectName(QStringLiteral("SendBox"));
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMaxVisibleItems(10);
        box->setMinimumWidth(150);
        box->setEditText({});
        box->installEventFilter(this);
        box->lineEdit()->installEventFilter(this);
        commandLine_->addWidget(box);
        return;
    }
    case TOperationKind::DeviceBox: {
        auto* combo = new QComboBox;
        combo->setObjectName(QStringLiteral("cbDevice"));
        addWidget(combo);
        break;
    }
    case TOperationKind::Button: break;
    }
    auto* action = new QAction(this);
    action->setData(entry.Code);
    action->setText(Q(entry.Hint));
    action->setIconText(Q(entry.Caption.empty() ? entry.Hint : entry.Caption));
    action->setToolTip(Q(entry.Hint));
    action->setStatusTip(Q(entry.Hint));
    action->setIcon(OperationIcon(style(), entry.Code));
    if (!entry.Shortcut.empty())
        action->setShortcut(QKeySequence::fromString(Q(entry.Shortcut), QKeySequence::PortableText));
    action->setVisible(!entry.Hidden);
    action->setEnabled(enabled);
    connect(action, &QAction::triggered, this, [this, action] { emit OperationTriggered(action); });
    addAction(action);
    if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action)))
        button->setToolButtonStyle(entry.Kind == TOperationKind::DeviceBox ? Qt::ToolButtonIconOnly
                                                                           : Qt::ToolButtonTextBesideIcon);
}

QAction* TOperationsToolBar::OperationAction(int code) const
{
    for (QAction* action : actions())
        if (action->parent() == this && action->data().isValid() && action->data().toInt() == code) return action;
    return nullptr;
}

QComboBox* TOperationsToolBar::DeviceCombo() const { return findChild<QComboBox*>(QStringLiteral("cbDevice")); }

QComboBox* TOperationsToolBar::SendBox() const
{
    return commandLine_->findChild<QComboBox*>(QStringLiteral("SendBox"));
}

int TOperationsToolBar::SelectedDeviceIndex() const
{
    const QComboBox* combo = DeviceCombo();
    return combo ? combo->currentIndex() : -1;
}

std::optional<int> TOperationsToolBar::TakeDeviceCombo()
{
    QComboBox* combo = DeviceCombo();
    if (!combo) return std::nullopt;
    const int index = combo->currentIndex();
    for (QAction* action : actions())
        if (auto* widgetAction = qobject_cast<QWidgetAction*>(action); widgetAction && widgetAction->defaultWidget() == combo) {
            removeAction(widgetAction);
            delete widgetAction;
            return index;
        }
    delete combo;
    return index;
}

void TOperationsToolBar::FillDevices(const std::optional<std::string>& devices, int& lastDevice)
{
    QComboBox* combo = DeviceCombo();
    if (!combo) return;
    const int current = combo->currentIndex();
    combo->clear();
    if (!devices) return;
    const QFontMetrics metrics(combo->font());
    const TDeviceComboModel model =
        BuildDeviceCombo(*devices, lastDevice, current,
                         [&metrics](std::string_view t) { return metrics.horizontalAdvance(Q(std::string(t))); });
    for (const std::string& item : model.Items) combo->addItem(Q(item));
    combo->setEnabled(model.Enabled);
    combo->setFixedWidth(model.Width);
    combo->setCurrentIndex(model.Selected);
}

void TOperationsToolBar::SetOperationsEnabled(bool enabled)
{
    for (QAction* action : actions())
        if (action->parent() == this && action->data().isValid()) action->setEnabled(enabled);
}

int TOperationsToolBar::WidthShowing(bool captions)
{
    for (QAction* action : actions())
        if (action->parent() == this && action->data().isValid() && action->data().toInt() != opSettings)
            if (auto* button = qobject_cast<QToolButton*>(widgetForAction(action)))
                button->setToolButtonStyle(captions ? Qt::ToolButtonTextBesideIcon : Qt::ToolButtonIconOnly);
    if (QLayout* l = layout()) l->invalidate();
    return ToolBarWidth(this);
}

bool TOperationsToolBar::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        if (QComboBox* box = SendBox(); box && (watched == box || watched == box->lineEdit())) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                platform::RunGuarded([this] { SendBoxEnter(); });
                return true;
            }
        }
    return QToolBar::eventFilter(watched, event);
}

void TOperationsToolBar::SendBoxEnter()
{
    QComboBox* box = SendBox();
    if (!box) return;
    const std::string text = box->currentText().toStdString();
    std::vector<std::string> items;
    for (int i = 0; i < box->count(); ++i) items.push_back(box->itemText(i).toStdString());
    RememberSendText(items, text);
    box->clear();
    for (const std::string& item : items) box->addItem(Q(item));
    box->setCurrentIndex(-1);
    box->setEditText(Q(text));
    emit SendRequested(text);
}
