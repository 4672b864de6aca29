#pragma once

#include "tests/support/PageAudit.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

class QComboBox;
class QWidget;
class TDevice;
class TField;
class TFieldLst;
class TfrDevice;
class TZumo2Doc;

namespace testsupport {

// A page test's fixture: the real tree with every page the program registers
// (RegisterDocumentPages) in a shown window, over the base model's document.
class PagesWindow : public ::testing::Test, public TreeViewWindow {
protected:
    std::unique_ptr<TZumo2Doc> kept; // a document the tree shows but does not own

    void SetUp() override;
    // Releases the kept document when the tree still shows it, then closes the window.
    void TearDown() override;

    // The idle cycle of the main window.
    void Idle();

    TZumo2Doc& Document();
    // The device page of a slot after an idle cycle; none when another page shows.
    TfrDevice* SelectDevice(int slot);
    // Shows a new document of a model code instead, kept here; the test releases it
    // (doc->ReleaseDocument()) before it ends.
    TZumo2Doc& UseModel(int code);
    // The device of a slot of the shown document.
    TDevice& Device(int slot);
    // The protocol page the device page of a slot (the common one or a family's) hosts,
    // as class F (none when it hosts none or one of another class).
    template <class F>
    F* ProtocolPage(int slot)
    {
        return dynamic_cast<F*>(HostedProtocolPage(SelectNode(DevNode(slot))));
    }

private:
    static QWidget* HostedProtocolPage(QWidget* page);
};

// ---------------------------------------------------------------------------------
// What the page tests do alike

// Selects the item of a combo box with a text, as the user would; fails the test when no
// item has it.
void Choose(QComboBox* combo, const char* text);
// The field of a key in a list; fails the test (and gives none) when the list lacks it.
TField* FieldOf(const TFieldLst& list, const char* key);
// The value of a key's field; fails the test (and gives -1) when the list lacks it.
int32_t ValueOf(const TFieldLst& list, const char* key);
// The bytes of a device's protocol area, count of them from its byte first on.
std::vector<int> AreaBytes(const TDevice& device, int first, int count);

// The МЭК controls as the pages' description gives them, for the audits of the pages
// that have them.
// The group "Таймауты" with ed090 .. ed093 ("T0" .. "T3" in "с") and the group "Размеры
// окна" with ed094 "К" (Cyrillic) and ed095 "W".
std::vector<TAuditControl> IecTimeoutAudit();
// A controlled point's timing (ed0104, ed0107, ed0108), the commands (ch0102, ch0103,
// ch0105) and the group "Групповой опрос, с " with its sixteen periods ed0109 .. ed0124
// captioned "1" .. "16".
std::vector<TAuditControl> IecPointAudit();

} // namespace testsupport
