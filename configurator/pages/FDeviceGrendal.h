#pragma once

#include "configurator/pages/FamilyDevicePage.h"

// The page of a Tramel-5141 device (TDeviceGrendal): "Стык" (COM2 .. COM7, "LAN1",
// "LAN2", "LAN1 или LAN2"), "Адрес", and in the row panel paPort either the serial
// settings paPortCOM ("Скорость" in "бит/c", "Биты данных", "Четность", "Стоповые
// биты") or the Ethernet settings paPortETH ("IP", "Порт", "Клиент"/"Сервер",
// "TCP"/"UDP"), by the stored port (GrendalPortPanelOf): the one shown takes the
// place. Below them the protocol page (TfrKPIEC_Grendal for a МЭК controlled point)
// and one of the role pages TfrKPdpNone_Grendal, TfrPUdpNone_Grendal and
// TfrPUIEC_Grendal. No control point gets a protocol page.
class TfrDeviceGrendal : public TFamilyDevicePage {
    Q_OBJECT
public:
    static const TPageTable Table;

    // cbPort, then the serial lists.
    void FillLists() override;

    QWidget* paPortCOM;
    TSpinEdit* edSpeed;
    QComboBox* cb068_1;
    QComboBox* cb068_2;
    QComboBox* cb068_3;
    QWidget* paPortETH;

protected:
    // The protocol pages come from pages; none: the page hosts none.
    TfrDeviceGrendal(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, const TFrameRegistry* pages,
                     QWidget* parent = nullptr);

    bool UpdatePortPanel() override;
    TParamFrame* MakeRolePage(TFamilyRolePage page, QWidget* host) override;
};
