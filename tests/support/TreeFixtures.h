#pragma once

#include "model/uZumo2.h"

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// Base-model documents with what other families' trees and menus read.

// Adds the port and modem lists "ADSP", "ADSP2", "Modem1" and "Modem2" in a block of
// their own; their names differ from their keys ("ADSP канал 1" ...). "Modem1" is a
// TModemPort, a descendant of TPortCOM.
class THaskListsDoc : public TZumo2Doc {
public:
    const char* ClassName() const override { return "THaskListsDoc"; }
    void Build() override;
};

// Port names given by the test.
class TPortNamesDoc : public TZumo2Doc {
public:
    explicit TPortNamesDoc(std::vector<std::string> names) : names_(std::move(names)) {}
    const char* ClassName() const override { return "TPortNamesDoc"; }
    std::vector<std::string> GetPortNames() const override { return names_; }

private:
    std::vector<std::string> names_;
};

// A base-model document with its defaults.
std::unique_ptr<TZumo2Doc> NewZumo2Doc();

// Puts a device into a slot: port, protocol index, role (1 ПУ, 0 КП) and address.
void UseSlot(TZumo2Doc& doc, int slot, int protocolIndex, int port, int role, int address = 0);

} // namespace testsupport
