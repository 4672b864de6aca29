#pragma once

#include "configurator/pages/ProtocolFrame.h"
#include "configurator/pages/SharedPageControls.h"

class QCheckBox;
class TSpinEdit;

// The МЭК page of a controlled point (КП): field sizes, TU timeout, poll cycles, the
// sixteen group poll periods and the command flags. The groups "Таймауты" and
// "Размеры окна" (the device record's "090".."095") show only on Pelvar and
// Tramel-5141 devices; cb062 is disabled on Pelvar devices; "Игнорировать данные в
// состоянии IV " shows only on the "Zumo2" document. A maximum frame size outside
// 0..255 is refused silently.
class TfrKPIEC : public TProtocolFrame, public TIecPointControls {
    Q_OBJECT
public:
    static const TPageTable Table;

    void Load(TFieldLst* list) override;

    TSpinEdit* seMaxFrameSize;
    QCheckBox* ch0106;
    QCheckBox* cbBroadCastSetTime;
    QCheckBox* cbChannCheckBS;
    QCheckBox* cbBalanceMode;

protected:
    TfrKPIEC(QTreeWidget* tree, TDevice* device, QWidget* parent = nullptr);

private:
    // The page's veto: the maximum frame size.
    void Veto(const void* sender, TField* field, const Variant& value, TFieldLst* row, bool& accept);
};
