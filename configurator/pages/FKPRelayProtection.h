#pragma once

#include "configurator/pages/ProtocolFrame.h"

#include <span>
#include <vector>

class QCheckBox;
class QComboBox;
class TSpinEdit;

// The base of the relay protection pages, Орион-2 and Сириус-2, whose blocks begin
// alike: the device type, the poll period with its unit and the flags of the currents,
// the line voltages and the frequency. A page's table is that head followed by its own
// rows (Rows), bound as one list in table order. The page's type rule (ApplyType) runs
// at the end of Load and after every stored change of cbDevType.
class TfrRelayProtection : public TProtocolFrame {
    Q_OBJECT
public:
    // Binds (the base Load), hooks the type rule to cbDevType, then runs it.
    void Load(TFieldLst* list) override;

    QComboBox* cbDevType;
    TSpinEdit* cbPeriodM; // the poll period, a spin edit whatever its prefix says
    QComboBox* cbPeriodUM;
    QCheckBox* chIa;
    QCheckBox* chIb;
    QCheckBox* chIc;
    QCheckBox* chUab;
    QCheckBox* chUbc;
    QCheckBox* chUca;
    QCheckBox* chFreq;

    // A page's rows: cbDevType "Тип устройства" ("DevType"), cbPeriodM "Период опроса
    // устройства" ("PeriodM") with cbPeriodUM ("PeriodUM") beside it in the panel
    // "paType"; chIa, chIb, chIc, chUab, chUbc, chUca, chFreq ("ParamIa" .. "ParamFreq")
    // in valuesPanel; then the page's own rows.
    static std::vector<TPageRow> Rows(const char* valuesPanel, std::span<const TPageRow> own);

protected:
    TfrRelayProtection(QTreeWidget* tree, TDevice* device, TProtocolPage kind, const TPageTable& table,
                       QWidget* parent);

    // The page's rule of the device type.
    virtual void ApplyType() = 0;
};
