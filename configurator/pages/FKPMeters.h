#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QComboBox;
class QLineEdit;
class TSpinEdit;

// The meter pages: one page over the meter table (MeterProtocolOf, MeterPageTable) per
// meter protocol, the page's table MeterPageTable(kind). Each shows the poll period with its unit, the access password where
// the protocol has one (a text edit of at most the field's 8 characters, kept in
// Windows-1251 in the image) and one check box per measured quantity, captioned at Load
// as the document has it (MeterQuantitiesOn).
class TfrKPMeter : public TProtocolFrame {
    Q_OBJECT
public:
    void Load(TFieldLst* list) override;

    const TMeterProtocol& Meter() const { return meter_; }
    TSpinEdit* Period() const { return period_; }
    QComboBox* PeriodUnit() const { return unit_; }
    // None for a meter without a password.
    QLineEdit* Password() const { return password_; }

protected:
    TfrKPMeter(QTreeWidget* tree, TDevice* device, TProtocolPage kind, QWidget* parent);

private:
    const TMeterProtocol& meter_;
    TSpinEdit* period_;
    QComboBox* unit_;
    QLineEdit* password_ = nullptr;
};

// Меркурий (index 7).
class TfrKPMercury : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPMercury> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// IEC 1107 (index 13).
class TfrKPCE304 : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPCE304> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// Протон-К (index 14): the period only.
class TfrKPProton : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPProton> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// ANSI C1218-21 (index 17): no password.
class TfrKPANSI : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPANSI> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// СЭТ-4ТМ (index 19).
class TfrKPSET : public TProtocolPageOf<TfrKPMeter, TProtocolPage::KPSET> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};
