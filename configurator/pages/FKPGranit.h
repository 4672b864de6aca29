#pragma once

#include "configurator/pages/GranitFrame.h"

class QComboBox;
class QGroupBox;
class QPushButton;
class TSpinEdit;

// The Гранит page of a controlled point: device type, poll periods and the meander
// period (gbTiming), the function block table with its check "Проверка", and the
// link-down event (gbLinkDown "Обработка события пропадания связи").
//
// The link-down command combo and "номер" (seLinkDownCmdVAK) follow the document's
// family (GranitCommandsOf): on Zumo 9 documents "номер" is hidden with its label and
// bound to nothing.
//
// The block check (CheckDeviceAfb on the device: the error line and the error box, or
// the success line) runs when "Проверка" is clicked and after the focus left the grid
// for another widget of the window (TFrGranitAFBGrid::OnLeave), except for a mouse
// press on "Проверка", whose click checks. That check is posted: it runs after the focus
// change, outside its handling, on the device rather than the page, so it also runs
// when the page went meanwhile (leaving through the tree frees it). It is skipped when
// the device no longer belongs to the document the tree shows, and once the program is
// terminating. Without the program's tree (a page made alone) it runs only while the
// page lives. The page's going never starts a check.
class TfrKPGranit : public TGranitFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void FillLists() override;
    void Load(TFieldLst* list) override;

    QComboBox* cb0901;
    TSpinEdit* ed0906;
    TSpinEdit* ed0907;
    TSpinEdit* ed0908;
    TSpinEdit* ed0909;
    TSpinEdit* seSMeandrTimeout;
    QGroupBox* gbTiming;
    QPushButton* btnCheck; // "Проверка"
    QGroupBox* gbLinkDown;
    QComboBox* cbLinkDownEvent;
    TSpinEdit* seLinkDownCmdVAK;
    TSpinEdit* edCmdTimeout;
    TSpinEdit* seCmdRepeatCount;

protected:
    TfrKPGranit(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The focus left the grid: the check posted, unless a mouse press took it to
    // "Проверка".
    void GridLeft(Qt::FocusReason reason);
    void PostCheck();
};
