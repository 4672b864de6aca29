#pragma once

#include "model/uHask1.h"

#include <memory>
#include <string>
#include <vector>

// The Tramel-5141 concentrator: six serial ports, two Ethernet ports, 200 device slots
// and no logical channel table, in an image at address 0.

// A serial port of the Tramel-5141: a TUART with duplex default 1; everything else,
// the fixed flags included, is TUART's.
class TCOMGrendal : public TUART {
public:
    const char* ClassName() const override { return "TCOMGrendal"; }

protected:
    TCOMGrendal(TMemoryBlock* block, int32_t offset) : TUART(block, offset, 1) {}
};

// A device slot of the Tramel-5141: the Pelvar device's layout, protocol blocks and
// channel, aperture and scale blocks, with "001", "055", "068_1" .. "068_3", "073" and
// "078" not checked, "007" defaulting to 2404 and "000" (the address) to 1. Its
// protocol blocks are made when they are first used.
//
// It is no THask1Device: pages that test for the Pelvar device do not take it.
class TDeviceGrendal : public TDevice {
public:
    const char* ClassName() const override { return "TDeviceGrendal"; }
    // As the Pelvar device's, with LAN meaning ports 6, 7 and 8: "001", "006" and
    // "068_1" .. "068_3" are fixed exactly on LAN, "003", "007", "022" and "024"
    // exactly off LAN, and "073" keeps its flag.
    void MarkUnusedFields() override;

protected:
    using TDevice::TDevice;
    void LayoutFields(TLayout& layout) override;
    TBlockNames BlockNames() const override;
    TDevProtocolFactory ProtocolFactory(int index) const override;
    bool ProtocolBlocksOnFirstUse() const override { return true; }
};

// The Tramel-5141 document (model code 7). Its image, from address 0:
//   0x0000, 232 bytes: "COM1" .. "COM6" (TCOMGrendal) at 0 .. 40, "ETH_0" "LAN1" and
//     "ETH_1" "LAN2" (TETH) at 48 and 56, the common fields from 64, the network texts
//     "050" .. "055" at 96 .. 176, the 20-character text "noname_192" at 192 (empty by
//     default, not checked) and "SchemeID" at 212;
//   0x1000, 145400 bytes: 200 TDeviceGrendal ("Устройство_01" .. "Устройство_200"),
//     then 50 TIT apertures at 144800 and 50 TIT conversions at 145000.
// There are no logical channels. Its name in the field tree is "Контроллер Tramel-5141".
class TGrendalDoc : public TZumo2Doc {
public:
    const char* ClassName() const override { return "TGrendalDoc"; }
    void Build() override;
    // "COM2" .. "COM7" (one more than the port records' own numbers), "LAN1", "LAN2",
    // "LAN1 или LAN2".
    std::vector<std::string> GetPortNames() const override;

    // The serial port records, in order; they belong to the document's field list.
    int COMPortCount() const { return static_cast<int>(serialPorts_.size()); }
    TUART* COMPortByIndex(int index) const
    {
        return index >= 0 && index < COMPortCount() ? serialPorts_[static_cast<size_t>(index)] : nullptr;
    }

protected:
    TGrendalDoc();
    void AfterConstruction() override;

private:
    std::vector<TUART*> serialPorts_; // not owned
};

// A Tramel-5141 document, built (its fields read zeros).
std::unique_ptr<TZumo2Doc> MakeGrendalDoc();
