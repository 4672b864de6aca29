#pragma once

#include "configurator/pages/FKPdpNone_Hask1.h"

// The role page of a Tramel-5141 controlled point (КП): the Pelvar controlled point's
// page with "Задержка начала передачи" (ed055, 0..65535 ms). Its validity group stays
// hidden too; it fills no lists and changes nothing on idle.
class TfrKPdpNone_Grendal : public TfrKPdpNone_Hask1 {
    Q_OBJECT
public:
    static const TPageTable Table;

    TSpinEdit* ed055;

protected:
    TfrKPdpNone_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
