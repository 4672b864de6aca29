#pragma once

#include "configurator/pages/IecVariantSwitch.h"
#include "configurator/pages/ProtocolFrame.h"
#include "configurator/pages/SharedPageControls.h"

#include <optional>

class TRadioGroup;

// The МЭК page of a Tramel-5141 controlled point (КП): the variant rg073 ("МЭК 101",
// "МЭК 104"), the field sizes (none offering "0 байт"), "Таймауты" (T0 .. T3) and
// "Размеры окна" (К, W) of the device record, the TU timeout, the poll cycles, the
// sixteen group poll periods and three command flags of the МЭК block. No maximum frame
// size, broadcast or pre-transmission check controls.
//
// The timeout groups show on Pelvar and Tramel-5141 devices, which are the devices
// that reach this page. A switch of the variant presets the field sizes
// (TIecVariantSwitch); on idle the timeout groups are enabled for "МЭК 104" only, cb062
// for "МЭК 101" on a device that is not a Pelvar one.
class TfrKPIEC_Grendal : public TProtocolFrame, public TIecPointControls {
    Q_OBJECT
public:
    static const TPageTable Table;

    // The base Load, the timeout groups shown or hidden, then the variant's preset is
    // hooked.
    void Load(TFieldLst* list) override;
    void UpdateControls() override;
    // Shows the values again without presetting the sizes.
    void RefreshAll() override;

    TRadioGroup* rg073;

protected:
    TfrKPIEC_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    std::optional<TIecVariantSwitch> variant_;
};
