#pragma once

#include "configurator/tree/FrameDispatch.h"
#include "model/uDocument.h"
#include "tests/configurator/tree/ModelTable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace modeltable {

// The tree of a new document of the row's model: the root caption, the port nodes in
// order before "Устройства", one node per device, the groups of the model (logical
// channels where it has them; own channels and DIO for Zumo 7 only).
inline ::testing::AssertionResult TreeMatchesRow(const TTreeGroups& g, const Row& row)
{
    if (!g.Root || !g.Devices) return ::testing::AssertionFailure() << "no root or no device group";
    std::string problems;
    const auto expect = [&](const std::string& what, const std::string& got, const std::string& wanted) {
        if (got != wanted) problems += what + ": \"" + got + "\" instead of \"" + wanted + "\"\n";
    };
    expect("root", g.Root->Caption(), row.caption);
    std::string ports, wanted;
    for (int i = 0; i < g.Root->ChildCount() && g.Root->Child(i) != g.Devices; ++i)
        ports += g.Root->Child(i)->Caption() + "|";
    for (const std::string& port : row.portNodes) wanted += port + "|";
    expect("port nodes", ports, wanted);
    expect("devices", std::to_string(g.Devices->ChildCount()), std::to_string(row.devices));
    expect("logical channels", g.LogicChannels ? "yes" : "no", row.logicChannels > 0 ? "yes" : "no");
    expect("apertures", g.Apertures ? "yes" : "no", "yes");
    expect("conversions", g.Scales ? "yes" : "no", "yes");
    const bool zumo7 = row.ownChannels > 0;
    expect("own channels", g.OwnChannels ? g.OwnChannels->Caption() : "", zumo7 ? "Собственные каналы" : "");
    expect("DIO", g.DIO ? g.DIO->Caption() : "", zumo7 ? "DIO" : "");
    if (problems.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << problems;
}

} // namespace modeltable
