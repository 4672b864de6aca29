#pragma once

#include "configurator/pages/FPUIEC_Hask1.h"
#include "configurator/pages/IecVariantSwitch.h"

#include <optional>

class TSpinEdit;

// The role page of a Tramel-5141 control point (ПУ) speaking МЭК: the Pelvar page with
// the variant rg073 ("МЭК 101", "МЭК 104"), "Задержка начала передачи" (ed055,
// 0..65535 ms) and "Непрерывная выдача данных на запрос класса 2" (ch078);
// "Останавливать работу при пропадании связи с КП" is hidden. A switch of the variant
// presets the field sizes (TIecVariantSwitch); on idle "Таймауты" and "Размеры окна"
// are enabled for "МЭК 104" only, cb062 and ch078 for "МЭК 101" only.
class TfrPUIEC_Grendal : public TfrPUIEC_Hask1 {
    Q_OBJECT
public:
    static const TPageTable Table;

    // The base Load, then the variant's preset is hooked.
    void Load(TFieldLst* list) override;
    void UpdateControls() override;
    // Shows the values again without presetting the sizes.
    void RefreshAll() override;

    TRadioGroup* rg073;
    TSpinEdit* ed055;
    QCheckBox* ch078;

protected:
    TfrPUIEC_Grendal(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    std::optional<TIecVariantSwitch> variant_;
};
