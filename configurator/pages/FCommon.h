#pragma once

#include "configurator/rules/PageRules.h"
#include "configurator/widgets/uParamFrame.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QWidget;
class TIPAddressEdit;
class TSpinEdit;
class TZumo2Doc;

// The page of the document's common parameters: time checks, the event archive
// buffers, time setting and the network settings of the documents that have them.
class TfrCommon : public TParamFrame {
    Q_OBJECT
public:
    // The page's controls; the buffer rule and the command channel address stay code.
    static const TPageTable Table;

    void Load(TFieldLst* list) override;

    // How many events the archive holds in all (set by Load).
    int32_t Capacity() const { return capacity_; }

    QGroupBox* gbTimeCheck;
    QCheckBox* ch022;
    QCheckBox* ch023;
    QCheckBox* ch028;
    TSpinEdit* edPeriodCheckTime;
    TSpinEdit* edVAC_TU1;
    QLabel* lbVAC_TU1;
    QCheckBox* chQuality;
    QGroupBox* gbBuffer;
    TSpinEdit* edBufTS;
    TSpinEdit* edBufTIT;
    TSpinEdit* edBufTSDPI;
    TSpinEdit* seTimeOffset;
    QCheckBox* cbInverAll_Ts;
    QCheckBox* cbSetTimeTest;
    TSpinEdit* seXPORT_settime_p;
    QWidget* paNet;
    QGroupBox* gbNet1;
    TIPAddressEdit* ed050;
    TIPAddressEdit* ed052;
    TIPAddressEdit* ed054;
    QGroupBox* gbNet2;
    TIPAddressEdit* ed051;
    TIPAddressEdit* ed053;
    TIPAddressEdit* ed055;

protected:
    TfrCommon(QTreeWidget* tree, TZumo2Doc* document, QWidget* parent = nullptr);

private:
    // The own change handler of the buffer edits, after the value was stored.
    void BufferChanged(TBuffer changed);
    // A value the document refused.
    void Rejected(const void* sender, TField* field, const Variant& value);

    TZumo2Doc* document_;
    int32_t capacity_ = 0;
    bool applyingRule_ = false; // a buffer is being lowered by the rule
};
