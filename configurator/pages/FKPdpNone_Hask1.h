#pragma once

#include "configurator/pages/FamilyRoleFrame.h"
#include "configurator/pages/SharedPageControls.h"

#include <span>
#include <vector>

class QCheckBox;
class QGroupBox;
class TRadioGroup;

// The role page of a Pelvar controlled point (КП): the poll settings of the common
// controlled point's page without "Задержка начала передачи". Its group "Формирование
// признака достоверности для МЭК" (ch020, ch021) stays hidden. It fills no lists and
// changes nothing on idle.
class TfrKPdpNone_Hask1 : public TFamilyRoleFrame, public TPollSettingControls {
    Q_OBJECT
public:
    static const TPageTable Table;
    // The table's panels and rows, for the page of another family built on this one
    // (made when asked, so that the other page's table may be made at start-up too).
    static std::span<const TPagePanel> Panels();
    static std::vector<TPageRow> Rows();

    TRadioGroup* rg013;
    QCheckBox* ch012;
    QGroupBox* gbIEC;
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrKPdpNone_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
    // A page of another family made from a table that holds this page's rows.
    TfrKPdpNone_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family, const TPageTable& table,
                      QWidget* parent);
};
