#pragma once

#include "model/uZumo2.h"

#include <memory>
#include <span>
#include <string>
#include <vector>

// The Pelvar multiplexer controllers: their modems with the FIR filter coefficient
// tables, their port, device and logical channel records, and the six documents that
// share one image at 0x200F0000.

// ---------------------------------------------------------------------------------
// Modems

// The 256 taps of one FIR filter: word fields "000" .. "255", default 0, not checked,
// one after the other (512 bytes). The list keeps the order of creation, so
// FieldByIndex(i) is tap i. A tap is a 16-bit two's-complement pattern stored in the
// unsigned word.
class TFiltrKf : public TFieldLst {
public:
    static constexpr int TapCount = 256;

    const char* ClassName() const override { return "TFiltrKf"; }
    void Build() override;

protected:
    TFiltrKf(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// The modem parameters of the single-modem models, 2200 bytes: the channel modem
// ("speed", "001_xx", "002", the modulator group "100" with "mod_coeff" at 44 and the
// demodulator group "200" with "demod_coeff" at 588), then from 1100 the voice part
// ("speed2", "011_xx", "012", the transit filters "300" with "mod2_coeff" at 1144 and
// "400" with "demod2_coeff" at 1688). The voice part is checked against its defaults
// except the gain codes "300_04" and "400_04"; nothing re-marks those flags later.
class TModem : public TFieldLst {
public:
    const char* ClassName() const override { return "TModem"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// The channel modem of the two-modem models, 1100 bytes: "speed", "000" .. "011",
// "032", the groups "100" and "200" with "mod_coeff" and "demod_coeff". Only the bits
// "007", "008", "010" and "011" are checked.
class TModem1 : public TModem {
public:
    const char* ClassName() const override { return "TModem1"; }
    void Build() override;

protected:
    using TModem::TModem;
};

// The voice modem of the two-modem models: the layout of TModem1 keyed "speed2",
// "300_xx", "mod2_coeff", "400_xx" and "demod2_coeff". Its "400_03" has default 0 and
// runs -40..40; its "300_03" runs -40..0.
class TModem2 : public TModem {
public:
    const char* ClassName() const override { return "TModem2"; }
    void Build() override;

protected:
    using TModem::TModem;
};

// ---------------------------------------------------------------------------------
// Ports

// An Ethernet port, 8 bytes: "016" bits 0..2 of the word at 0 (default 2) and "018"
// bit 3 (default 1), both checked; 6 bytes reserved. Its flags stay as laid out.
class TETH : public TUART {
public:
    const char* ClassName() const override { return "TETH"; }
    // Fixes nothing more than the layout did.
    void MarkFixedFields() override {}

protected:
    TETH(TMemoryBlock* block, int32_t offset) : TUART(block, offset, 1) {}
    void Layout() override;
};

// An ADSP channel, 8 bytes: "016" (default 1) and "018" in the word at 0, the flags
// "051" .. "053", "057" .. "059" in the word at 2, "055" and "056" words at 4 and 6.
// Its flags stay as laid out: the port page shows exactly the flags whose field is
// not checked.
class TADSP : public TUART {
public:
    const char* ClassName() const override { return "TADSP"; }
    // Fixes nothing more than the layout did.
    void MarkFixedFields() override {}

protected:
    TADSP(TMemoryBlock* block, int32_t offset) : TUART(block, offset, 0) {}
    void Layout() override;
};

// ---------------------------------------------------------------------------------
// Logical channels

// A ТИТ channel whose source offers the seven values of the Pelvar controllers.
class THask1LogicTIT : public TLogicTIT {
public:
    const char* ClassName() const override { return "THask1LogicTIT"; }
    // Parameter 0: the text of the stored source, or its number for any other value.
    std::string ParamText(int index) const override;
    // Parameter 0: the seven sources in their order; nothing for the others.
    void FillValueList(int index, TPickList& list) const override;

protected:
    using TLogicTIT::TLogicTIT;
};

// The sources of a Pelvar ТИТ channel, in the order its pick list shows them.
constexpr int Hask1TITSourceCount = 7;
extern const TCodeText Hask1TITSources[Hask1TITSourceCount];

// A logical channel of the Pelvar controllers: the layout of TLogic with the kinds
// ТС, ТИТ (THask1LogicTIT), ТИИ and ТУ only. The group commands and regulation codes
// still select their kind index, but no record: the area is zero-filled and no kind
// is active.
class THask1Logic : public TLogic {
public:
    const char* ClassName() const override { return "THask1Logic"; }
    // 0 "Channel", 1 "Voice", 2 "ETH0", 3 "ETH1", any other "Нет", whatever ports the
    // model has.
    std::string PortText(int portIndex) const override;
    // "Channel" = 0, "Voice" = 1 on the two-modem models, "ETH0" = 2, "ETH1" = 3 on the
    // models with a second Ethernet port, "Нет" = 255.
    void FillPortList(TPickList& list) const override;

protected:
    using TLogic::TLogic;
    std::unique_ptr<TLogicChannel> CreateKind(int index, int32_t areaOffset) override;
};

// ---------------------------------------------------------------------------------
// Devices

// A difference of a device from the Pelvar device table: the key's default and
// CheckDefault flag.
struct THask1RowChange {
    const char* Key;
    int32_t Default;
    bool CheckDefault;
};
// The layout rows of the Pelvar device fields of bytes 0..93, each row of a key in
// `changes` with the change's default and flag. A device class makes its rows once and
// lays them out for every device (TLayout::Rows).
std::vector<TLayoutRow> Hask1DeviceRows(std::span<const THask1RowChange> changes);
// The Pelvar block captions: "Канал %.2d" for all three kinds.
TDevice::TBlockNames Hask1DeviceBlockNames();
// The protocol blocks of the Pelvar devices: none for 12 and 22 .. 28.
TDevProtocolFactory Hask1ProtocolFactory(int index);

// How a device of the Pelvar layout marks its unused fields.
struct THask1MarkRules {
    int FirstLan, LastLan;   // the port indexes of the Ethernet ports
    bool SerialFixedOnLan;   // "006", "068_1" .. "068_3": fixed on LAN (else never)
    bool IecVariantFixed;    // "073" joins the fields fixed when the protocol is not МЭК
};
// Sets the CheckDefault flags of the device's fields from its role, protocol and port:
// "0004", "ts_link", "tit_link" for a control point; "0013" .. "0015" for a control
// point or the protocols 3, 10, 11, 15, 16, 18, 20; the МЭК settings unless МЭК; "019"
// for a controlled point; "001" on LAN; "003", "007", "022", "024" off LAN.
void MarkHask1DeviceFields(TDevice& device, const THask1MarkRules& rules);

// A device slot of the Pelvar controllers, 724 bytes: its own fields in bytes 0..93
// ("001" speed, "003" 16-character text, the flags at 28, 32 and 48, the МЭК settings,
// "000" address at 72, "002" port at 74, "004" protocol code at 75 ...), the protocol
// area of 70 bytes at 94 and 20 channel, aperture and scale blocks, all captioned
// "Канал %.2d". Protocol indexes 12 and 22 to 28 have no block.
class THask1Device : public TDevice {
public:
    const char* ClassName() const override { return "THask1Device"; }
    // The fields that must hold their defaults for the role, the protocol and whether
    // the port is an Ethernet port (2, 3 or 4).
    void MarkUnusedFields() override;

protected:
    using TDevice::TDevice;
    void LayoutFields(TLayout& layout) override;
    TBlockNames BlockNames() const override;
    TDevProtocolFactory ProtocolFactory(int index) const override;
};

// ---------------------------------------------------------------------------------
// Documents

// The Pelvar-44 (model code 6) and the base of the other Pelvar documents. Its image,
// from 0x200F0000:
//   0x0000, 2380 bytes: the ports "ADSP" "Channel", "ADSP2" "Voice", "ETH_0" "ETH0"
//     and "ETH_1" "ETH1", the common fields, "SchemeID" at 160, the modem part from 180;
//   0x1000, 14800 bytes: 20 THask1Device, then 20 THask1Logic;
//   0x8000, 600 bytes: 50 TIT apertures, then 50 TIT conversions.
// Its name in the field tree is "Контроллер " + ModelName.
class THask1Doc_1d : public TZumo2Doc {
public:
    const char* ClassName() const override { return "THask1Doc_1d"; }
    void Build() override;
    // "Channel", "", "ETH0", "ETH1", "ETH0 или ETH1".
    std::vector<std::string> GetPortNames() const override;

protected:
    THask1Doc_1d();
    void AfterConstruction() override;

    void BuildDevices(TLayout& layout, int count) override;
    void BuildLogicChannels(TLayout& layout, int count) override;
    // The modem part at the running offset: "Modem1" TModem "Параметры модема".
    virtual void BuildModems(TLayout& layout);
    // Sets the default of a header field (a model's own step after the build).
    void SetDefault(const char* key, int32_t value);
};

// The Pelvar-42 with a voice port (code 8): "026" defaults to 1, and the voice part
// of "Modem1" is free (its filter fields are not checked).
class THask1Doc_1v : public THask1Doc_1d {
public:
    const char* ClassName() const override { return "THask1Doc_1v"; }
    void Build() override;

protected:
    THask1Doc_1v();
};

// The Pelvar-42 with two modems (code 9): "025" defaults to 1, "Modem1" is a TModem1
// "Параметры модема channel" at 180 and "Modem2" a TModem2 "Параметры модема voice"
// at 1280. Ports "Channel", "Voice", "ETH0", "ETH1", "ETH0 или ETH1".
class THask1Doc_2d : public THask1Doc_1d {
public:
    const char* ClassName() const override { return "THask1Doc_2d"; }
    void Build() override;
    std::vector<std::string> GetPortNames() const override;

protected:
    THask1Doc_2d();
    void BuildModems(TLayout& layout) override;
};

// The Pelvar-41 (code 10): ports "Channel", "", "ETH0".
class THask1Doc_41 : public THask1Doc_1d {
public:
    const char* ClassName() const override { return "THask1Doc_41"; }
    std::vector<std::string> GetPortNames() const override;

protected:
    THask1Doc_41();
};

// The Pelvar-43 with a voice port (code 11): ports "Channel", "", "ETH0".
class THask1Doc_1v_43 : public THask1Doc_1v {
public:
    const char* ClassName() const override { return "THask1Doc_1v_43"; }
    std::vector<std::string> GetPortNames() const override;

protected:
    THask1Doc_1v_43();
};

// The Pelvar-43 with two modems (code 12): ports "Channel", "Voice", "ETH0".
class THask1Doc_2d_43 : public THask1Doc_2d {
public:
    const char* ClassName() const override { return "THask1Doc_2d_43"; }
    std::vector<std::string> GetPortNames() const override;

protected:
    THask1Doc_2d_43();
};

// The Pelvar document of a model code (6, 8 .. 12), built (its fields read zeros);
// none for any other code.
std::unique_ptr<TZumo2Doc> MakeHask1Doc(int modelCode);
