#pragma once

#include "configurator/pages/ProtocolFrame.h"
#include "configurator/rules/SiemensSymapPage.h"

#include <QColor>

#include <array>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QTabWidget;
class TDevProtocolSiemensSymap;
class TSpinEdit;
class TZumo2SiemensDoc;

// The Siemens Symap page of a controlled point (protocol index 28): the block's poll
// period with its unit, the list "Устройства" of the block's 16 register descriptors
// by name, and for the selected descriptor "Активно" (its enable flag in the block),
// "Тип устройства" and the tab pages pcChannls, each with the address "Рег. адр." and
// 16 check boxes of one mask word (SymapTabs).
//
// Selecting a line binds the type, the 16 addresses and the 256 check boxes to that
// descriptor's fields and "Активно" to its flag, then shows them all with Loading set
// (the base Load): nothing is stored by showing. No widget is made or destroyed after
// the page is built. A descriptor that is not enabled keeps the type, its label and the
// tabs disabled and its line grey; the window's operation lock leaves them so.
//
// Own handlers, run after the store: the type shows the PLC or the Symap tabs
// (ApplyDevType); "Активно" enables or disables the type and the tabs and repaints the
// list. The list's pop-up item "Переименовать" asks for a new name ("Вопрос",
// "Введите название устройства", the line's text) and stores a confirmed non-empty one
// in the document; the line then shows the name as stored (at most 64 characters, in
// Windows-1251).
class TFrKPSiemensSymap : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    // The page for a device, made as MakeFrame makes it with host as its parent; none
    // when the device's document is no Siemens document (the page needs its register
    // names) or the device's active block is no Siemens Symap block.
    static TParamFrame* Create(QTreeWidget* tree, TDevice* device, QWidget* host);

    // The bound descriptor := none; the type and unit lists.
    void FillLists() override;
    // Keeps the document and the block, lists the descriptors' names and selects the
    // first line (SelectRegister), runs the base Load and gives the type and "Активно"
    // their own handlers; then ApplyDevType.
    void Load(TFieldLst* list) override;
    // The base's RefreshAll, then the lines' names read again and the list repainted.
    void RefreshAll() override;

    // The list's selection applied (RegisterSelectionOf); also the list's handler of a
    // changed current line.
    void SelectRegister();
    // Binds "Активно" to the block's flag of descriptor i through the device, the type,
    // the addresses and the check boxes pairwise to descriptor i's fields
    // (SymapDescriptorKeys), then runs the base Load.
    void BindRegister(int index);
    // Releases "Активно", the type and the check boxes of the Symap pages (0 .. 11); the
    // addresses and the PLC check boxes are bound again by the next BindRegister.
    void UnbindRegister();
    // Whether descriptor i is enabled in the block (false outside 0 .. 15).
    bool IsRegisterEnabled(int index) const;
    // Enables or disables the type's label, the type and the tab pages together.
    void EnableRegisterControls(bool on);
    // Shows the tab pages of the selected type (SymapTabsOf) and makes its first current.
    void ApplyDevType();
    // Stores the name of descriptor i in the document; the line shows it as stored.
    void RenameRegister(int index, const std::string& name);
    // The rename prompt for the selected line.
    void miRenameRegisterClick();
    // After "Активно" was stored: the type and the tabs follow the selected descriptor's
    // flag, and the list is repainted.
    void cbRegisterEnabledClick();

    // The name line i shows (the rules' RegisterName).
    std::string RegisterName(int index) const;
    // The colour line i's text is painted in, read when the line is painted: the list's
    // text colour while descriptor i is enabled, else the palette's disabled-text colour.
    QColor LineColor(int index) const;
    // The descriptor bound; -1 before the first.
    int BoundRegister() const { return bound_; }
    // The 273 controls bound to a descriptor, in the order of SymapDescriptorKeys.
    const std::vector<QWidget*>& DescriptorControls() const { return descriptorControls_; }

    QComboBox* cbDevType;
    QLabel* lbDevType;
    TSpinEdit* cbPeriodM; // a spin edit, whatever its prefix says
    QComboBox* cbPeriodUM;
    QListWidget* lbSRegisters;
    QAction* miRenameRegister;
    QCheckBox* cbRegisterEnabled;
    QTabWidget* pcChannls;
    // The address spin edits by page ("seInputsRegAddr" ...), the check boxes by page and
    // bit ("cbInput00" ...).
    std::array<TSpinEdit*, SymapTabCount> seRegAddr;
    std::array<std::array<QCheckBox*, SymapBitCount>, SymapTabCount> cbBits;

protected:
    TFrKPSiemensSymap(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The tab pages and their controls, from SymapTabs.
    void BuildTabs();
    // The list with its caption and pop-up item beside the tab pages.
    void BuildRegisterList();

    TZumo2SiemensDoc* document_ = nullptr;
    TDevProtocolSiemensSymap* block_ = nullptr;
    int bound_ = -1;
    std::vector<QWidget*> descriptorControls_;
    std::vector<QWidget*> released_; // what UnbindRegister releases
};
