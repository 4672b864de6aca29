#pragma once

#include "configurator/pages/ProtocolFrame.h"

class QCheckBox;
class QGroupBox;

// The ТМ 512 family's page: four check boxes in the group gbTM512, bound to "1802" ..
// "1805" (the ТМ 500, МК 51 and МК 55 blocks share ТМ 512's layout). Each page of the
// family is this page with the changes TM512ChangesOf gives for its kind, made when it
// is built: captions replaced, controls or the whole group hidden, every binding kept.
class TfrTM512Family : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    QGroupBox* gbTM512;
    QCheckBox* ch1802;
    QCheckBox* ch1803;
    QCheckBox* ch1804;
    QCheckBox* ch1805;

protected:
    TfrTM512Family(QTreeWidget* tree, TDevice* device, TProtocolPage kind, QWidget* parent);
};

// ТМ 512 (index 15), controlled point.
class TfrKPTM512 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::KPTM512> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// ТМ 512, control point: a page of its own with the same check boxes.
class TfrPUTM512 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::PUTM512> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// ТМ 500 (index 22), controlled point: ch1802 reads "Только доп. ТИТ", ch1803 is hidden.
class TfrKPTM500 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::KPTM500> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// ТМ 500, control point: ch1802 reads "Только доп. ТИТ", ch1803 "Экстра флаги в потоке".
class TfrPUTM500 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::PUTM500> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// МК 51 (index 23), both roles: the group is hidden, nothing to edit is shown.
class TfrKPMK51 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::KPMK51> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};

// МК 55 (index 24), controlled point: the ТМ 512 page as it is.
class TfrKPMK55 : public TProtocolPageOf<TfrTM512Family, TProtocolPage::KPMK55> {
    Q_OBJECT
    using TProtocolPageOf::TProtocolPageOf;
};
