#pragma once

#include "configurator/pages/FamilyDevicePage.h"

// The page of a Pelvar device (THask1Device): "Стык" (the ports the model names),
// "Адрес", and for the Ethernet ports the panel paPort (hidden by default) with "IP",
// "Порт", "Клиент"/"Сервер" and "TCP"/"UDP"; below them the protocol page and one of
// the role pages TfrKPdpNone_Hask1, TfrPUdpNone_Hask1 and TfrPUIEC_Hask1. No control
// point gets a protocol page.
//
// paPort follows the selected port item's position (HaskEthernetShown): a stored port
// that no item carries shows none, and so no Ethernet settings.
class TfrDevice_Hask1 : public TFamilyDevicePage {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    // The protocol pages come from pages; none: the page hosts none.
    TfrDevice_Hask1(QTreeWidget* tree, TNodeTree* devicesGroup, TDevice* device, const TFrameRegistry* pages,
                    QWidget* parent = nullptr);

    bool UpdatePortPanel() override;
    TParamFrame* MakeRolePage(TFamilyRolePage page, QWidget* host) override;
};
