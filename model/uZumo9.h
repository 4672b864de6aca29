#pragma once

#include "model/uZumo4.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Model code 4, "Zumo9", "Scheme ID:8.0.0.0": the Zumo 4's image with four ports in the
// header (the base model's places) and the common fields of the base model, the first
// of which is "VAK_TU1" (a word, default 0, no limits, not checked) in place of
// "noname_0_1":
//   "UART0" TPortCOM "COM1" (duplex 0), "UART1" TUART "XPort" (duplex 0),
//   "UART2" TPortCOM "COM2" (duplex 0), "USB" TUART "USB" (duplex 1).
//
// "VAK_TU1" is the logical channel address (ВАК) of one command (ТУ) that must stay
// outside every command range of the devices. A device channel block is a command
// block when its type "0004" is 3; its range runs from its start "0003" (inclusive)
// for "0002" addresses, computed in 64 bits, and a count of 0 has none. "VAK_TU1" 0
// means "not set": it lies in no range.
//
// The rule is one predicate, enforced by the fields themselves: the validate event of
// "VAK_TU1" and of "0002", "0003" and "0004" of every channel block of every device is
// the document's ValidateFieldChange, so a refused value is not stored from whichever
// editor it comes (nothing is raised; the field keeps its value). Resets never meet a
// refusal: a block clears its count ("0002") before its start and type.
class TZumo9Doc : public TZumo4Doc {
public:
    // What Validate raises, and what the pages report for a refused "VAK_TU1".
    static constexpr const char* OverlapMessage = "ВАК ТУ1 пересекается с общим списком каналов ТУ";

    const char* ClassName() const override { return "TZumo9Doc"; }

    // The Zumo 4's steps, then the rule bound to the validate events of the fields.
    void Build() override;
    // Raises OverlapMessage when a command block's range holds a non-zero "VAK_TU1";
    // runs when a file is loaded, before the default check.
    void Validate() override;
    // The overlap rule for a change of one field; every field it does not judge is
    // accepted unchanged:
    //   "VAK_TU1" to v: refused when v is not 0 and some command block's range holds v
    //   (the walk stops at the first);
    //   "0002", "0003" or "0004" of a channel block (Row, or else the field's Parent):
    //   refused when "VAK_TU1" is not 0 and the block as it would be after the change
    //   is a command block whose range holds "VAK_TU1".
    // A value that is no number is left to the field's own store.
    void ValidateFieldChange(const void* sender, TField* field, const Variant& value, TFieldLst* row,
                             bool& accept) override;
    // The channel grid's veto: the channel block rule of ValidateFieldChange, for the
    // block channelList (or the field's Parent).
    void ValidateChannelChange(const void* sender, TField* field, const Variant& value, TFieldLst* channelList,
                               bool& accept) override;
    // "COM1", "XPort", "COM2", "USB".
    std::vector<std::string> GetPortNames() const override;

    // "VAK_TU1".
    TField* CommandAddressField() const { return commandAddress_; }
    // Whether some command block's range holds the address; never for 0.
    bool CommandRangeHolds(int64_t address) const;

protected:
    TZumo9Doc() : TZumo4Doc("Zumo9") {}

    void BuildPorts(TLayout& layout) override;
    void BuildCommon(TLayout& layout) override;

private:
    // The channel block rule; false when the change must be refused.
    bool ChannelChangeAccepted(const TDevChannel& block, const TField& field, const Variant& value) const;

    TField* commandAddress_ = nullptr;
};

// A code-4 document, built; ResetDefaults gives it its default contents.
std::unique_ptr<TZumo2Doc> MakeZumo9Doc();
