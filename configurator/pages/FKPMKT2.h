#pragma once

#include "configurator/pages/ProtocolFrame.h"

#include <array>

class QComboBox;
class TRadioGroup;

// The МКТ-2 page of a controlled point: the words in a cycle and the kind ("TC" or
// "ТИТ") of each of the thirty cycle words.
class TfrKPMKT2 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;
    static constexpr int Words = 30;

    QComboBox* cb011_mkt2_01;
    // Word n at n - 1: rg009_mkt2_01 .. rg009_mkt2_16, rg010_mkt2_17 .. rg010_mkt2_30.
    std::array<TRadioGroup*, Words> rgWords;

protected:
    TfrKPMKT2(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
