// The memory area dialog's model without widgets: the area of a count and unit, and the
// values kept in the registry store from one dialog to the next.

#include "loader/dialogs/FAddr.h"
#include "platform/Registry.h"
#include "tests/support/DialogScript.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

using platform::MsgResult;

namespace {

class AddrModel : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::ScopedEnv registry{platform::kRegistryFileVariable, (dir / "registry.reg").string()};
};

} // namespace

TEST_F(AddrModel, AreaSizeByUnit)
{
    const struct {
        int64_t count;
        int unit;
        uint64_t size;
    } cases[] = {
        {2, 1, 2048},
        {1, 2, 1048576},
        {5, 0, 5},
        {5, -1, 0},
        {5, 3, 0},
        {2048, 2, 2147483648ull},
        {2147483647, 2, 2147483647ull * 1048576},
        {-5, 0, 0},                 // below the control's range
        {4294967296ll, 0, 2147483647}, // above it
    };
    TfmAddrModel model;
    for (const auto& c : cases) {
        model.SetCount(c.count);
        model.SetUnitIndex(c.unit);
        EXPECT_EQ(model.AreaSize(), c.size) << c.count << " × unit " << c.unit;
    }
    model.SetStart(0x80000000ll);
    EXPECT_EQ(model.StartAddress(), 0x7FFFFFFFu);
    EXPECT_EQ(model.Caption(), "Парметры");
    EXPECT_EQ(model.FormName(), "TfmAddr");
}

TEST_F(AddrModel, ValuesComeBackInTheNextDialogAlsoAfterCancel)
{
    testsupport::DialogScript script;
    script->PushForm([](platform::FormModel& form) {
        auto& model = static_cast<TfmAddrModel&>(form);
        EXPECT_EQ(model.Start(), 0);
        EXPECT_EQ(model.Count(), 0);
        EXPECT_EQ(model.UnitIndex(), 0);
        model.SetStart(0x1234);
        model.SetCount(77);
        model.SetUnitIndex(2);
        return MsgResult::Cancel;
    });
    {
        TfmAddrModel first;
        EXPECT_FALSE(ShowAddrForm(first, 0));
    }
    const platform::RegistryStore store(dir / "registry.reg");
    EXPECT_EQ(store.Read("HKEY_CURRENT_USER\\Software\\Quorvandell\\Sarnupolex\\Options", "edAddr.Value"),
              platform::RegistryValue::Dword(0x1234));
    EXPECT_EQ(store.Read(AddrStorageKey(), "edCount.Value"), platform::RegistryValue::Dword(77));
    EXPECT_EQ(store.Read(AddrStorageKey(), "cbLength.ItemIndex"), platform::RegistryValue::Dword(2));

    script->PushForm([](platform::FormModel& form) {
        auto& model = static_cast<TfmAddrModel&>(form);
        EXPECT_EQ(model.Start(), 0x1234);
        EXPECT_EQ(model.Count(), 77);
        EXPECT_EQ(model.UnitIndex(), 2);
        model.SetCount(3);
        return MsgResult::OK;
    });
    {
        TfmAddrModel second;
        EXPECT_TRUE(ShowAddrForm(second, 0));
        EXPECT_EQ(second.AreaSize(), 3u * 1048576);
    }
    // A stored value outside its control's range is not taken.
    store.Write(AddrStorageKey(), "cbLength.ItemIndex", platform::RegistryValue::Dword(7));
    TfmAddrModel third;
    EXPECT_EQ(third.Count(), 3);
    EXPECT_EQ(third.UnitIndex(), 0);
}
