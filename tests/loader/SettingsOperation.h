#pragma once
// The settings operation as both loader test hosts drive it: in process, and through the
// library loaded with dlopen. A case selects another device in the dialog, renames it
// and presses OK.

#include "loader/dialogs/FParam.h"
#include "loader/SarnupolexLib.h"
#include "common/StrRoutines.h"
#include "model/Memory.h"
#include "tests/support/DialogScript.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace settingsop {

// The dialog opens on device `from` (the operation's device), the user selects `to`
// and names it `name`.
struct TRenameCase {
    int32_t from, to;
    const char* name;
};

// The operation as a host runs it: (op, device, the host's list) -> the result.
using TInvoke = std::function<int32_t(int32_t op, int32_t device, TBlockList** result)>;

// Scripts the dialog for the case. The form must be the library's "TfmParam"; its model
// is the library's own object, whose type the host knows from the same sources.
inline void PushRename(testsupport::DialogScript& script, const TRenameCase& c)
{
    script->PushForm([c](platform::FormModel& form) {
        EXPECT_EQ(form.FormName(), "TfmParam");
        auto& model = static_cast<TfmParamModel&>(form);
        EXPECT_EQ(model.ItemIndex(), c.from);
        model.SetItemIndex(c.to);
        TParamControls values = model.Controls();
        values.Name = c.name;
        model.OnParamsChange(values);
        return platform::MsgResult::OK;
    });
}

// Runs the operation on the case's device with the host's list holding 7: OK answers -1
// and leaves the selected index alone in the list.
inline void ExpectSelected(const TInvoke& invoke, const TRenameCase& c)
{
    TBlockList list;
    list.AddInteger(7);
    TBlockList* host = &list;
    EXPECT_EQ(invoke(opSettings, c.from, &host), -1);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Integer(0), c.to);
}

// The device lines after the case: `count` of them, the selected one under its new name.
inline void ExpectRenamed(const std::vector<std::string>& lines, size_t count, const TRenameCase& c)
{
    ASSERT_EQ(lines.size(), count);
    EXPECT_EQ(GetParam(lines[static_cast<size_t>(c.to)], "Name"), c.name);
}

} // namespace settingsop
