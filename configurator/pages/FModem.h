#pragma once

#include "configurator/rules/ModemRules.h"
#include "configurator/tree/FrameDispatch.h"
#include "configurator/widgets/uParamFrame.h"

#include <array>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TSpinEdit;

// The page of a modem list (TModem, TModem1, TModem2): the speed, the diagnostic
// switches, the modulator's and demodulator's tones, levels and gain steps, on the
// voice models with one modem the transit channel, and a "Расчет" button with a band
// label for each of the four filter records. A button opens the filter design dialog
// "Расчет коэффициентов фильтра" for its record; OK writes the taps and the band edges
// back into the modem.
class TfrModem : public TParamFrame {
    Q_OBJECT
public:
    // The page's controls; no row carries a key: Load binds each by the key of its
    // modem class (ModemControls).
    static const TPageTable Table;

    // The gain step lists.
    void FillLists() override;
    // Binds every control whose key the modem's class has (a key the list lacks leaves
    // it unbound), shows the transit group gbTK only on THask1Doc_1v and its
    // descendants, and fills the four filter records with their band texts.
    void Load(TFieldLst* list) override;
    // Each band label lbFiltr1 .. lbFiltr4 takes its record's text when it differs.
    void UpdateControls() override;

    // The "Расчет" buttons' handler; the record is the button's "Tag" (1 .. 4). An
    // unbound record does nothing. Otherwise the parameters are filled from the record
    // and the speed shown in edSpeed, the dialog runs, and after OK the taps and the
    // edges are stored and the band text renewed.
    void OnCalcFiltr(QObject* sender);

    // A filter record (1 .. 4) as Load bound it.
    const TFilterRecord& Record(int record) const { return records_.at(static_cast<size_t>(record - 1)); }

    TSpinEdit* edSpeed;
    TSpinEdit* ed032;
    QGroupBox* gbMod;
    QGroupBox* gbDemod;
    QGroupBox* gbTK;
    QComboBox* cb100_04;
    QComboBox* cb200_04;
    QComboBox* cb300_04;
    QComboBox* cb400_04;
    std::array<QPushButton*, FilterRecordCount> btCalc{}; // btCalc1 .. btCalc4, Tag 1 .. 4
    std::array<QLabel*, FilterRecordCount> lbFiltr{};     // lbFiltr1 .. lbFiltr4

protected:
    // params: the program's parameter block the dialogs share; designer: the design
    // routine the dialogs call.
    TfrModem(QTreeWidget* tree, TFieldLst* modem, TFilterDesignParams* params, TFilterDesigner designer,
             QWidget* parent = nullptr);

private:
    TFilterDesignParams* params_;
    TFilterDesigner designer_;
    std::array<TFilterRecord, FilterRecordCount> records_;
};

// Registers the modem page: one parameter block for the program run, handed to every
// page it makes, and the filter library of the program's folder.
void RegisterModemPage(TFrameRegistry& registry);
