#pragma once

#include <gtest/gtest.h>

#include <span>
#include <utility>
#include <vector>

class TFieldLst;
class TParamFrame;

namespace testsupport {

// The page audit: a shown page checked against a table of its controls transcribed
// from the page's description, for the page tests of every page kind.
//
// One entry per control the description names (editors, check boxes, radio groups,
// groups and panels, labels):
struct TAuditControl {
    const char* Name;         // object name ("cb065")
    const char* Class;        // the widget's exact class ("QComboBox", "TSpinEdit", "QCheckBox",
                              // "TRadioGroup", "QLineEdit", "QGroupBox", "QLabel", "QWidget")
    const char* Key = nullptr; // the key it is bound to in the audited list; none: bound to nothing
    // A captioned editor's caption (the label whose buddy it is), a check box's or a
    // label's text, a group's or radio group's title; none: not checked.
    const char* Text = nullptr;
    // A combo box's items as (text, stored value), a radio group's buttons as (text,
    // index); empty: not checked.
    std::vector<std::pair<const char*, int>> Items = {};
    // The unit label after an editor ("lb" + its key + "Unit"); none: not checked.
    const char* Unit = nullptr;
    // The list the key is looked up in (a page that binds into records of its block);
    // none: the list AuditPage is given.
    const TFieldLst* List = nullptr;
};

// Checks, reporting every difference:
//   - each listed control exists in the page under its name, of exactly its class, with
//     its text, items and unit;
//   - it is bound to exactly list.FindField(key) (the entry's own list when it names
//     one): a key the list lacks leaves it unbound, and an entry without a key must be
//     unbound;
//   - no other control of the page is bound to anything.
// Typical use, the list being the device whose page is hosted:
//   EXPECT_TRUE(testsupport::AuditPage(*page, *device, kPUIECControls));
::testing::AssertionResult AuditPage(const TParamFrame& page, const TFieldLst& list,
                                     std::span<const TAuditControl> controls);

} // namespace testsupport
