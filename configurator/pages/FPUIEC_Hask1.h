#pragma once

#include "configurator/pages/FamilyRoleFrame.h"
#include "configurator/pages/SharedPageControls.h"

#include <span>
#include <vector>

class QCheckBox;
class QGroupBox;
class TRadioGroup;

// The role page of a Pelvar control point (ПУ) speaking МЭК, hosted without a protocol
// page: the ASDU types, the field sizes ("Размеры полей", none of them offering
// "0 байт", so a stored 0 shows no item and stays until one is chosen), the groups
// "Таймауты" (T0 .. T3) and "Размеры окна" (К, W), its flags and the validity group
// "Формирование признака достоверности для МЭК". Its encoding group rg013 stays hidden,
// as on the common control point's МЭК page. It changes nothing on idle.
class TfrPUIEC_Hask1 : public TFamilyRoleFrame,
                       public TIecAsduControls,
                       public TIecSizeControls,
                       public TIecTimeoutControls {
    Q_OBJECT
public:
    static const TPageTable Table;
    // The table's panels and rows, for the page of another family built on this one
    // (made when asked, so that the other page's table may be made at start-up too).
    static std::span<const TPagePanel> Panels();
    static std::vector<TPageRow> Rows();

    // cb065 .. cb067 and cb061 .. cb064 (IecRolePageItems).
    void FillLists() override;

    TRadioGroup* rg013;
    QGroupBox* gbSizes;
    QCheckBox* ch019;
    QCheckBox* ch074;
    QCheckBox* ch075;
    QGroupBox* gbIEC;
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrPUIEC_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
    // A page of another family made from a table that holds this page's rows.
    TfrPUIEC_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family, const TPageTable& table,
                   QWidget* parent);
};
