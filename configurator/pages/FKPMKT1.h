#pragma once

#include "configurator/pages/ProtocolFrame.h"

#include <array>

class QComboBox;
class QGroupBox;
class TRadioGroup;

// The МКТ-1 page of a controlled point: the words in a cycle, "6" or "11", and the kind
// ("TC" or "ТИТ") of each of the ten cycle words in the group "Определение
// информационных слов". UpdateControls shows words 6 to 10 only while "11" is selected
// (MKT1WordShown); the device page then fits itself to the page's new height.
class TfrKPMKT1 : public TProtocolFrame {
    Q_OBJECT
public:
    static const TPageTable Table;

    void UpdateControls() override;

    QComboBox* cb2601;
    QGroupBox* gbWords;
    // Word n at n - 1: rg26_01 .. rg26_10.
    std::array<TRadioGroup*, MKT1Words> rgWords;

protected:
    TfrKPMKT1(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);
};
