#pragma once
// The loader's operations tool bar: the device combo box "cbDevice" in front of the
// settings button, a button per operation, 8-pixel gaps between them; and its
// companion, the command-line tool bar with the label "   Командная строка: " and the
// editable box "SendBox". It shows what the catalogue's entries (LoaderHost.h) give; the
// window runs the operations and the sends.

#include "configurator/core/LoaderHost.h"

#include <QToolBar>

#include <optional>
#include <string>
#include <vector>

class QAction;
class QComboBox;

// A tool bar's width as its layout wants it; 0 for a bar without actions.
int ToolBarWidth(QToolBar* bar);

class TOperationsToolBar : public QToolBar {
    Q_OBJECT
public:
    // Both bars are made empty, fixed in place, with parent as their parent.
    explicit TOperationsToolBar(QWidget* parent);

    // The command-line tool bar ("tbCommandLine"); empty while the catalogue has no
    // command line.
    QToolBar* CommandLine() const { return commandLine_; }

    // Both bars emptied, then one entry after another: a gap of 8 pixels for a
    // separator (none at the end of the bar); for the device box the combo box "cbDevice"
    // (empty: FillDevices fills it) and an icon-only button; the label and the box for
    // the command line; a button with its caption beside its image for any other
    // operation. Each button's action has the entry's hint as its text, tool tip and
    // status tip, its caption as icon text (the hint when it has none), its shortcut,
    // the operation code as its data, is visible unless hidden and enabled as given.
    // A device combo box that was there goes first (TakeDeviceCombo).
    void Build(const std::vector<TOperationEntry>& entries, bool enabled);

    // The action of an operation code; nullptr when there is none.
    QAction* OperationAction(int code) const;
    QComboBox* DeviceCombo() const;
    QComboBox* SendBox() const;
    // The device combo box's selection; -1 without the combo box or a selection.
    int SelectedDeviceIndex() const;
    // Removes the device combo box; its selection, nullopt when there was none.
    std::optional<int> TakeDeviceCombo();

    // The device combo box from the library's device list (UTF-8; nullopt when the
    // library has no GetDevices: the box is only emptied). lastDevice: as
    // BuildDeviceCombo takes it. Nothing without the combo box.
    void FillDevices(const std::optional<std::string>& devices, int& lastDevice);

    // Enables or disables every operation's action (the bar itself stays as it is).
    void SetOperationsEnabled(bool enabled);
    // The operations' width as the bar's layout wants it with their captions beside
    // their images, or with the images only, which the buttons then show (the settings
    // button keeps its image only); 0 for an empty bar.
    int WidthShowing(bool captions);

signals:
    // An operation's button or shortcut.
    void OperationTriggered(QAction* action);
    // Enter in the command-line box: the text, already first in the box's history.
    void SendRequested(const std::string& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void AddEntry(const TOperationEntry& entry, bool enabled);
    // The command-line box's Enter: its history, then SendRequested.
    void SendBoxEnter();

    QToolBar* commandLine_ = nullptr;
};
