#pragma once

#include "configurator/pages/FamilyRoleFrame.h"

class QCheckBox;
class QGroupBox;
class TRadioGroup;

// The role page of a Pelvar control point (ПУ) of any protocol but МЭК: "Режим работы"
// with rg013 and "Останавливать работу при пропадании связи с КП". No channel
// parameters and no "Задержка начала передачи"; its group "Формирование признака
// достоверности для МЭК" (ch020, ch021) stays hidden. It changes nothing on idle.
class TfrPUdpNone_Hask1 : public TFamilyRoleFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QGroupBox* gbMode;
    TRadioGroup* rg013;
    QCheckBox* ch019;
    QGroupBox* gbIEC;
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrPUdpNone_Hask1(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
    // The same page as another family's role page.
    TfrPUdpNone_Hask1(QTreeWidget* tree, TDevice* device, TDeviceFamily family, QWidget* parent);
};
