#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QComboBox;
class QLineEdit;
class TSpinEdit;

// The meter pages: one page over the meter table (MeterProtocolOf, MeterPageTable) per
// meter protocol. Each shows the poll period with its unit, the access password where
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
class TfrKPMercury : public TfrKPMeter {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPMercury(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};

// IEC 1107 (index 13).
class TfrKPCE304 : public TfrKPMeter {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPCE304(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};

// Протон-К (index 14): the period only.
class TfrKPProton : public TfrKPMeter {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPProton(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};

// ANSI C1218-21 (index 17): no password.
class TfrKPANSI : public TfrKPMeter {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPANSI(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};

// СЭТ-4ТМ (index 19).
class TfrKPSET : public TfrKPMeter {
    Q_OBJECT
public:
    static const TPageTable Table;

protected:
    TfrKPSET(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
