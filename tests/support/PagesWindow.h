#pragma once

#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest.h>

#include <memory>

class QWidget;
class TDevice;
class TfrDevice;
class TZumo2Doc;

namespace testsupport {

// A page test's fixture: the real tree with every page the program registers
// (RegisterDocumentPages) in a shown window, over the base model's document.
class PagesWindow : public ::testing::Test, public TreeViewWindow {
protected:
    std::unique_ptr<TZumo2Doc> kept; // a document the tree shows but does not own

    void SetUp() override;
    void TearDown() override;

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

} // namespace testsupport
