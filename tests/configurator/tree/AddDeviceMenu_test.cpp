#include "configurator/tree/AddDeviceMenu.h"
#include "model/uZumo2.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using testsupport::TPortNamesDoc;

std::vector<int> Tags(const TMenuItem& item)
{
    std::vector<int> out;
    for (int i = 0; i < item.Count(); ++i) out.push_back(item.Item(i)->Tag);
    return out;
}

TEST(AddDeviceMenu, BaseModelOffersItsProtocolsByRoleAndPort)
{
    auto doc = MakeZumo2Doc();
    TMenuItem menu("Добавить устройство", "miAddDevice", 0, -1);
    BuildAddDeviceMenu(menu, doc.get());
    BuildAddDeviceMenu(menu, doc.get()); // built again from scratch
    ASSERT_EQ(menu.Count(), 2);

    const std::vector<int> pu = {1, 2, 3, 4, 5, 6, 8, 9, 11, 12, 15, 16, 18, 20, 22, 23};
    const std::vector<int> kp = {1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 25, 26, 27};
    struct Branch {
        const char* caption;
        const char* name;
        int tag;
        const std::vector<int>& protocols;
        const char* kompas;
    };
    const Branch branches[] = {{"ПУ", "miPU", 1, pu, "Протокол Компас 1.1"},
                               {"КП", "miKP", 0, kp, "Протокол Компас 1.1/ТМ 120"}};
    for (int b = 0; b < 2; ++b) {
        const Branch& expected = branches[b];
        const TMenuItem& branch = *menu.Item(b);
        SCOPED_TRACE(expected.caption);
        EXPECT_EQ(branch.Caption, expected.caption);
        EXPECT_EQ(branch.Name, expected.name);
        EXPECT_EQ(branch.Tag, expected.tag);
        EXPECT_EQ(branch.ImageIndex, 7);
        EXPECT_FALSE(branch.AddsDevice);
        ASSERT_EQ(branch.Count(), 3);
        const char* ports[] = {"COM", "XPort", "485"};
        for (int i = 0; i < 3; ++i) {
            const TMenuItem& port = *branch.Item(i);
            EXPECT_EQ(port.Caption, ports[i]);
            EXPECT_EQ(port.Name, "Port" + std::to_string(i));
            EXPECT_EQ(port.PortIndex, i);
            EXPECT_EQ(port.ImageIndex, 24);
            EXPECT_TRUE(port.Enabled);
            EXPECT_EQ(Tags(port), expected.protocols);
            for (int k = 0; k < port.Count(); ++k) {
                const TMenuItem& item = *port.Item(k);
                EXPECT_TRUE(item.AddsDevice);
                EXPECT_EQ(item.PortIndex, i);
                if (item.Tag != 5) {
                    EXPECT_EQ(item.Caption, std::string("Протокол ") + ProtocolNames[item.Tag]);
                }
            }
            ASSERT_NE(port.Find(expected.kompas), nullptr);
            EXPECT_EQ(port.Find(expected.kompas)->Tag, 5);
        }
    }
    EXPECT_EQ(menu.Item(1)->Item(0)->Find("Протокол ModBus")->Tag, 2);

    BuildAddDeviceMenu(menu, nullptr);
    EXPECT_EQ(menu.Count(), 0);
}

TEST(AddDeviceMenu, PortItemsCarryThePortIndexNotTheirPosition)
{
    auto doc = MakeDocument<TPortNamesDoc>(std::vector<std::string>{"Channel", "", "ETH0", "USB"});
    TMenuItem menu;
    BuildAddDeviceMenu(menu, doc.get());
    for (int b = 0; b < 2; ++b) {
        const TMenuItem& branch = *menu.Item(b);
        ASSERT_EQ(branch.Count(), 3);
        EXPECT_EQ(branch.Item(0)->Caption, "Channel");
        EXPECT_EQ(branch.Item(0)->Name, "Port0");
        EXPECT_EQ(branch.Item(1)->Caption, "ETH0");
        EXPECT_EQ(branch.Item(1)->Name, "Port2");
        EXPECT_EQ(branch.Item(1)->PortIndex, 2);
        EXPECT_EQ(branch.Item(1)->Item(0)->PortIndex, 2);
        const TMenuItem& usb = *branch.Item(2);
        EXPECT_EQ(usb.Caption, "USB");
        EXPECT_FALSE(usb.Enabled);
        EXPECT_EQ(usb.Count(), 0);
    }
}

} // namespace
