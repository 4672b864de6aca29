#pragma once

#include "model/uDevProtocols.h"
#include "model/uDocument.h"

// The records of the controller image: ports, small records, logical channels and
// device slots.

// ---------------------------------------------------------------------------------
// Ports and small records

// The settings of one controller port, 8 bytes. The port's caption is its Name.
//   "016" bits 0..2 of the word at 0: mode, 0 asynchronous, 1 synchronous
//   "018" bit 3 of the word at 0: duplex, default given to the constructor
//   "051", "052", "053", "057", "058", "059", "flag_invDE": bits 0..6 of the word at 2
//   "055" word at 4: leader before transmission, ms; "056" word at 6: receive window, ms
class TUART : public TFieldLst {
public:
    const char* ClassName() const override { return "TUART"; }

    // The layout, then MarkFixedFields: the flags hold from construction on.
    void Build() override;
    // Sets the CheckDefault flags of the fields that must keep their defaults: every
    // field of a plain port.
    virtual void MarkFixedFields();
    // "016" is 1.
    bool IsSynchronous() const;

    int32_t DuplexDefault() const { return duplexDefault_; }

protected:
    TUART(TMemoryBlock* block, int32_t offset, int32_t duplexDefault = 0)
        : TFieldLst(block, offset), duplexDefault_(duplexDefault)
    {
    }

    // The fields of the record; kinds add theirs here.
    virtual void Layout();

private:
    int32_t duplexDefault_;
};

// A COM port: only "053" must keep its default.
class TPortCOM : public TUART {
public:
    const char* ClassName() const override { return "TPortCOM"; }
    void MarkFixedFields() override;

protected:
    using TUART::TUART;
};

// A port of the XPort module: duplex by default, and "is_xport" (bit 4 of the word at
// 0, default 1, checked) marks it. Still 8 bytes.
class TPortCOM_XPORT : public TUART {
public:
    const char* ClassName() const override { return "TPortCOM_XPORT"; }

protected:
    TPortCOM_XPORT(TMemoryBlock* block, int32_t offset) : TUART(block, offset, 1) {}
    void Layout() override;
};

// A modem port is synchronous: "016" gets the default 1, and the value 1 is written
// while the record is built.
class TModemPort : public TPortCOM {
public:
    const char* ClassName() const override { return "TModemPort"; }
    void Build() override;

protected:
    using TPortCOM::TPortCOM;
};

// A TIT conversion, 8 bytes: "0001" single k = 1 at 0, "0002" single b = 0 at 4.
class TScaleTIT : public TFieldLst {
public:
    const char* ClassName() const override { return "TScaleTIT"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// A TIT aperture, 4 bytes: "0001" single 0.
class TAppertureTIT : public TFieldLst {
public:
    const char* ClassName() const override { return "TAppertureTIT"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
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

// Eight TS inversion flags in one byte: "1" is bit 7 ... "8" is bit 0, each checked.
class TInverseTS : public TFieldLst {
public:
    const char* ClassName() const override { return "TInverseTS"; }
    void Build() override;

protected:
    using TFieldLst::TFieldLst;
};

// A Zumo 7 own channel, 20 bytes, children in layout order: "start_adr" word 1,
// "count" word, "VAC" longword, "Chtype" byte 255, "ChFrm" byte 255, "shared_delay"
// word; bytes 12..19 reserved.
class TInternalChannel : public TFieldLst {
public:
    const char* ClassName() const override { return "TInternalChannel"; }
    void Build() override;

    TField* VAC = nullptr;

protected:
    TInternalChannel(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// A Zumo 7 discrete I/O channel: the layout of TInternalChannel.
class TDIO_Channel : public TFieldLst {
public:
    const char* ClassName() const override { return "TDIO_Channel"; }
    void Build() override;

    TField* VAC = nullptr;

protected:
    TDIO_Channel(TMemoryBlock* block, int32_t offset) : TFieldLst(block, offset) { LayoutOrder = true; }
};

// ---------------------------------------------------------------------------------
// Logical channels

// ---------------------------------------------------------------------------------
// Devices
