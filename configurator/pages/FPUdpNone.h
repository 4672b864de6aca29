#pragma once

#include "configurator/widgets/uParamFrame.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class TDevice;
class TRadioGroup;
class TSpinEdit;

// The role page of a control point (ПУ): how the controller answers it. What it shows
// depends on the device's protocol (PUdpNoneLayoutOf).
class TfrPUdpNone : public TParamFrame {
    Q_OBJECT
public:
    // The page's controls; its rule shows, hides and captions some of them at Load.
    static const TPageTable Table;

    void Load(TFieldLst* list) override;

    QGroupBox* gbChannel; // the channel parameters
    TSpinEdit* ed0004;
    TSpinEdit* ed0013;
    TSpinEdit* edTSLink;
    TSpinEdit* edTITLink;
    QLabel* lb0004;
    QLabel* lb0004Unit;
    QLabel* lb0013;
    QLabel* lb0013Unit;
    QLabel* lbTITLink;

    QGroupBox* gbMode; // "Режим работы"
    TRadioGroup* rg013;
    TSpinEdit* ed055;
    QCheckBox* ch019;

    QGroupBox* gbIEC; // "Формирование признака достоверности для МЭК"
    QCheckBox* ch020;
    QCheckBox* ch021;

protected:
    TfrPUdpNone(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    TDevice* device_;
};
