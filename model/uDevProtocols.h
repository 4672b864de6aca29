#pragma once

#include "model/uDocument.h"

#include <cstdint>
#include <memory>
#include <string>

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

// Makes the block of one protocol over the area at an absolute offset of the block,
// with no parent. The role field is the device's "011"; only the DCON block keeps it.
using TDevProtocolFactory = std::unique_ptr<TDevProtocol> (*)(TMemoryBlock* block, int32_t offset,
                                                              std::string name, TField* roleField);

// The factory of a protocol index 1..28; none for an index without a block class
// (and outside the range).
TDevProtocolFactory DevProtocolFactory(int index);

// ---------------------------------------------------------------------------------
// Blocks of protocol indexes 10 to 27

// МКТ-2: the kinds of cycle words 1..30 (0 TS, 1 ТИТ) and the words in a cycle.
class TDevProtocolMKT2 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT2"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// МКТ-3.
class TDevProtocolMKT3 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT3"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ТМ 120.
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

// IEC 1107: the head, 33 value flags from byte 10 and the access password.
class TDevProtocolCE304 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolCE304"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Протон-К: the head alone.
class TDevProtocolProton : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolProton"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ТМ 512, and the ТМ 500, МК 51 and МК 55 blocks that share its layout and keys.
class TDevProtocolTM512 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTM512"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// РПТ-80.
class TDevProtocolRPT80 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolRPT80"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// ANSI C1218-21: the head, 26 value flags from byte 10 and ten energy flags in the
// word at 14.
class TDevProtocolANSI : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolANSI"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// УТМ-7: seven information messages of one byte each from byte 6.
class TDevProtocolUTM7 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolUTM7"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// СЭТ-4ТМ: the head, 32 value flags from byte 10 and the access password.
class TDevProtocolSET : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolSET"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// УТС-8: no parameters.
class TDevProtocolUTS8 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolUTS8"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// МКТ-1: the kinds of cycle words 1..10 and the words in a cycle. The kinds of words
// 6..10 must hold their defaults unless the cycle has 11 words.
class TDevProtocolMKT1 : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolMKT1"; }
    void Build() override;
    void MarkUnusedFields() override;

protected:
    using TDevProtocol::TDevProtocol;
};

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

// ТК113 Щит: no parameters.
class TDevProtocolTK113Shield : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolTK113Shield"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Орион-2 relay protection: device type, poll period, 19 flags of the values and
// signals to read (all set by default), and the logical addresses of the TU1 state.
class TDevProtocolOrion : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolOrion"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};

// Сириус-2 relay protection: as Орион-2 with 14 flags and no TU1 state.
class TDevProtocolSirius : public TDevProtocol {
public:
    const char* ClassName() const override { return "TDevProtocolSirius"; }
    void Build() override;

protected:
    using TDevProtocol::TDevProtocol;
};
