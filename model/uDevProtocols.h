#pragma once

#include "model/uDocument.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// The parameter blocks of the link protocols. Every device record holds one protocol
// area; the blocks of all protocols lie over it at the same offset, and the device's
// protocol code decides which one is in force.

// The base of the blocks: a list laid out from the start of the area.
class TDevProtocol : public TFieldLst {
public:
    const char* ClassName() const override { return "TDevProtocol"; }

    // Bytes of the area this block needs.
    virtual int32_t ProtocolAreaSize() const { return 70; }

protected:
    TDevProtocol(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) {}
};

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 1 to 9

// МЭК, 42 bytes: the command flags, the TU time-out, the poll cycles and sixteen
// numbered words "0109".."0124". The other МЭК settings live in the device record.
class TDevProtocolIEC : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolIEC"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ModBus, 12 bytes: the device type, the TU hold time, the poll period, the TU
// algorithm and the TS and TIT request functions.
class TDevProtocolModBus : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolModBus"; }
    void Build() override;
    // Type 10: "0209" and "0210" must keep their defaults, "0208" is free; any other
    // type: "0208" must keep its default, "0209" and "0210" are free.
    void MarkUnusedFields() override;

protected:
    using TDevProtocol::TDevProtocol;

private:
    TField* type_ = nullptr;        // "0201"
    TField* tuAlgorithm_ = nullptr; // "0208"
    TField* tsFunction_ = nullptr;  // "0209"
    TField* titFunction_ = nullptr; // "0210"
};

// TM800A, 1 byte: "3001", which must keep its default.
class TDevProtocolTM800A : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTM800A"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// TM800B, 9 bytes: the TU hold time and the poll period with its unit.
class TDevProtocolTM800B : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTM800B"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Компас 1.1, 24 bytes, with the route to the controlled point through up to three
// intermediate points ("0512" of them): their addresses, then the direction of the
// final point, then the device's address, in "0513".."0517".
class TDevProtocolKompas : public TDevProtocol {
public:
    // "0512" .. "0517".
    std::array<TField*, 6> Route{};

    const char* ClassName() const override { return "TDevProtocolKompas"; }
    void Build() override;
    // Without the ПУ TM1.1 type ("5001" = 1) there is no route: "0512".."0514" must
    // keep their defaults. Route bytes among "0515".."0517" past the route's end must
    // keep theirs whatever the type.
    void MarkUnusedFields() override;

protected:
    using TDevProtocol::TDevProtocol;

private:
    TField* type_ = nullptr; // "5001"
};

// ПУ TM1.1: 56 bytes and no fields.
class TDevProtocolKompasPU : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolKompasPU"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Меркурий, 26 bytes: the poll period, 32 flags choosing the meter's values to read
// and the access password.
class TDevProtocolMercury : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMercury"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// The relay map of a DCON module, 3 bytes, children in layout order: "type" byte at 0;
// "select_on" and "select_off" the low and high nibble of byte 1; "execute_on" and
// "execute_off" those of byte 2.
class TParamTU : public TFieldLst {
public:
    const char* ClassName() const override { return "TParamTU"; }
    void Build() override;

protected:
    TParamTU(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// DCON, 58 bytes: the module settings and the relay maps of its 16 outputs. It may
// know its device's role field "011"; a ПУ device (role 1) uses "0802" and "0803"
// whatever its type.
class TDevProtocolDCON : public TDevProtocol {
public:
    static constexpr int OutputCount = 16;

    const char* ClassName() const override { return "TDevProtocolDCON"; }
    void Build() override;
    // ПУ: "0802" and "0803" are free. Otherwise "0802" must keep its default unless
    // "0801" is 1, and "0803" unless "0801" is 2.
    void MarkUnusedFields() override;

    // The relay maps ("ParamTU00".."ParamTU15") in the order of the outputs.
    int ParamTUCount() const { return static_cast<int>(paramTU_.size()); }
    // None outside 0..ParamTUCount()-1.
    TParamTU* ParamTUByIndex(int index) const;

protected:
    // Without a role field the device counts as КП.
    TDevProtocolDCON(TMemoryBlock* block, int32_t offset) : TDevProtocol(block, offset) {}
    TDevProtocolDCON(TMemoryBlock* block, int32_t offset, TField* roleField)
        : TDevProtocol(block, offset), roleField_(roleField)
    {
    }

private:
    TField* roleField_ = nullptr; // the device's, not owned
    TField* type_ = nullptr;      // "0801"
    TField* rawTit_ = nullptr;    // "0802"
    TField* tuHold_ = nullptr;    // "0803"
    std::vector<TParamTU*> paramTU_;
};

// Гранит, 44 bytes, for both roles: poll and send periods, the TS description, the
// link-down event and the service commands.
class TDevProtocolGranit : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolGranit"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

// МКТ-2, 12 bytes: the kinds of cycle words 1..30 (0 TS, 1 ТИТ) and the number of words
// in a cycle.
class TDevProtocolMKT2 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT2"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// МКТ-3, 8 bytes: "1201", which must keep its default, the TS options and the number
// of words in a cycle.
class TDevProtocolMKT3 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT3"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ТМ 120, 3 bytes: the TU command binding, the service command address and the
// answer to TIT requests while the data are invalid.
class TDevProtocolTM120 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTM120"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// The metering protocols share a 10-byte head: reserved space, the poll period
// ("cc006", a word at 6) and its unit ("cc007", a byte at 8), cc being the protocol
// code in two digits.

// IEC 1107, 26 bytes: the head, 33 flags choosing the meter's values to read from
// byte 10 on, and the access password.
class TDevProtocolCE304 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolCE304"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Протон-К, 10 bytes: the head alone.
class TDevProtocolProton : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolProton"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ТМ 512, 2 bytes: "1801", which must keep its default, and the TIT and TS options.
// The ТМ 500, МК 51 and МК 55 blocks share its layout and keys.
class TDevProtocolTM512 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTM512"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// РПТ-80, 8 bytes: "1901", which must keep its default, the invalid data filter and
// the data interval.
class TDevProtocolRPT80 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolRPT80"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ANSI C1218-21, 16 bytes: the head, 26 value flags from byte 10 on and ten energy
// flags in the word at 14.
class TDevProtocolANSI : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolANSI"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// УТМ-7, 14 bytes: the TI sign option and seven information messages of one byte each
// from byte 6 on (the address or group in bits 0..2, the kind in bit 7).
class TDevProtocolUTM7 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolUTM7"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// СЭТ-4ТМ, 26 bytes: the head, 32 value flags from byte 10 on and the access password.
class TDevProtocolSET : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolSET"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// УТС-8: no parameters, size 0.
class TDevProtocolUTS8 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolUTS8"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// МКТ-1, 12 bytes: the kinds of cycle words 1..10 and the number of words in a cycle.
// The kinds of words 6..10 must hold their defaults unless the cycle has 11 words.
class TDevProtocolMKT1 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT1"; }
    void Build() override;
    void MarkUnusedFields() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ТМ 500, МК 51 and МК 55: the ТМ 512 block under protocols of their own.
class TDevProtocolTM500 : public TDevProtocolTM512 {
public:
    const char* ClassName() const override { return "TDevProtocolTM500"; }

protected:
    using TDevProtocolTM512::TDevProtocolTM512;
};

class TDevProtocolTM51 : public TDevProtocolTM512 {
public:
    const char* ClassName() const override { return "TDevProtocolTM51"; }

protected:
    using TDevProtocolTM512::TDevProtocolTM512;
};

class TDevProtocolTM55 : public TDevProtocolTM512 {
public:
    const char* ClassName() const override { return "TDevProtocolTM55"; }

protected:
    using TDevProtocolTM512::TDevProtocolTM512;
};

// ТК113 Щит: no parameters, size 0.
class TDevProtocolTK113Shield : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTK113Shield"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Орион-2 relay protection, 16 bytes: device type, poll period, 19 flags choosing the
// values and signals to read (all set by default) from byte 9 on, and the logical
// addresses of the TU1 state.
class TDevProtocolOrion : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolOrion"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Сириус-2 relay protection, 11 bytes: as Орион-2 with 14 flags and no TU1 state.
class TDevProtocolSirius : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolSirius"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ---------------------------------------------------------------------------------
// Siemens Symap, protocol index 28

// The descriptor of one Siemens Symap register, 66 bytes, children in layout order:
//   "DevType" byte at 0 (default 6), "Rez1" byte at 1;
//   "SRegAddr00".."SRegAddr15" words from 2: the addresses read for the register;
//   16 mask words from 34, one bit field per bit (default 1, so 0xFFFF): which bits of
//   the device words are taken. Keys "SymapInput00", "SymapOutput00" (no underscore)
//   and "DP_MD5_DI_ExtBoard_WORD1_00" .. "PLC_Alarm_W3_15".
class TSiemensRegister : public TFieldLst {
public:
    static constexpr int32_t RecordSize = 66;

    const char* ClassName() const override { return "TSiemensRegister"; }
    void Build() override;

protected:
    TSiemensRegister(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// Siemens Symap, 1126 bytes, children in layout order: "DevType_rez" byte 6 at 0,
// "PeriodM" word at 6, "PeriodUM" byte at 8, "SRegisterEnabled00".."15" the bits of
// the word at 9, then the 16 register descriptors "SiemensRegister00".."15" (named
// "Siemens register 01".."16") from 70. It needs an area of its own size, which only
// the Siemens model's devices have.
class TDevProtocolSiemensSymap : public TDevProtocol {
public:
    static constexpr int Registers = 16;
    static constexpr int32_t AreaSize = 70 + Registers * TSiemensRegister::RecordSize;

    const char* ClassName() const override { return "TDevProtocolSiemensSymap"; }
    void Build() override;
    int32_t ProtocolAreaSize() const override { return AreaSize; }

    // The descriptors in order; they are children of the block.
    int RegisterCount() const { return static_cast<int>(registers_.size()); }
    // None outside 0..RegisterCount()-1.
    TSiemensRegister* RegisterByIndex(int index) const;

protected:
    TDevProtocolSiemensSymap(TMemoryBlock* block, int32_t offset) : TDevProtocol(block, offset)
    {
        LayoutOrder = true;
    }

private:
    std::vector<TSiemensRegister*> registers_;
};

// ---------------------------------------------------------------------------------
// The table

// Makes the block of one protocol over the area at an absolute offset of the block,
// with no parent. The role field is the device's "011"; only the DCON block keeps it.
using TDevProtocolFactory = std::unique_ptr<TDevProtocol> (*)(TMemoryBlock* block, int32_t offset,
                                                              std::string name, TField* roleField);

// The factory of a protocol index 1..28; none outside the range.
TDevProtocolFactory DevProtocolFactory(int index);
// The bytes of area the block of a protocol index needs, known without building it;
// 0 outside 1..28.
int32_t DevProtocolAreaSize(int index);
