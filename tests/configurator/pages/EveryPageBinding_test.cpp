#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/tree/ModelFactory.h"
#include "configurator/widgets/PageBuilder.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/TreeFixtures.h"
#include "tests/support/TreeViewFixture.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QVBoxLayout>

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

using testsupport::UseSlot;

// What a page's bindings must hold, for one page and every page it hosts:
// no control asked for a key its list lacks (unless its row allows that for documents
// without the key), no field is bound by two controls, and no row with a key is left
// unbound (unless its row allows it).
void CheckFrameBindings(TParamFrame& frame, const std::string& where)
{
    const std::string at = where + " / " + frame.objectName().toStdString();
    std::map<const TBoundControl*, const TPageRow*> rows;
    for (const TParamFrame::TTableControl& c : frame.TableControls())
        if (const TBoundControl* bound = frame.ControlOf(c.Control)) rows[bound] = c.Row;

    for (const TParamBinding::TMissedKey& missed : frame.MissedKeys()) {
        const auto it = rows.find(missed.Control);
        if (it != rows.end() && it->second->WhereDocumentHasIt) continue;
        ADD_FAILURE() << at << ": a control is bound to the key \"" << missed.Key << "\" its list lacks"
                      << (it != rows.end() ? std::string(" (") + it->second->Name + ")" : std::string());
    }

    std::map<const TField*, std::string> fields;
    for (const TBoundControl* control : frame.Controls()) {
        if (!control->Field()) continue;
        const std::string name = TParamFrame::WidgetOf(*control)->objectName().toStdString();
        const auto [it, added] = fields.emplace(control->Field(), name);
        EXPECT_TRUE(added) << at << ": \"" << name << "\" binds the field of \"" << it->second << "\" again";
    }

    for (const TParamFrame::TTableControl& c : frame.TableControls()) {
        if (!c.Row->Key || c.Row->WhereDocumentHasIt) continue;
        const TBoundControl* bound = frame.ControlOf(c.Control);
        EXPECT_TRUE(bound && bound->Field()) << at << ": \"" << c.Row->Name << "\" has the key \"" << c.Row->Key
                                             << "\" and is left unbound";
    }
}

void CheckPage(TShownFrame* shown, const std::string& where)
{
    if (!shown) return;
    auto* page = qobject_cast<TParamFrame*>(shown->Widget());
    if (!page) return;
    CheckFrameBindings(*page, where);
    for (TParamFrame* hosted : page->findChildren<TParamFrame*>()) CheckFrameBindings(*hosted, where);
}

class EveryPageBinding : public ::testing::Test, public testsupport::TreeViewWindow {
protected:
    void SetUp() override
    {
        RegisterDocumentPages(registry);
        Open(900, 700, true);
    }
    void TearDown() override { Close(); }

    // Shows the page of every visible node below node, as the user selects them.
    void VisitNodes(TNodeTree* node, const std::string& model)
    {
        if (!node || !node->Visible()) return;
        view->setCurrentItem(view->ItemOf(node));
        Process();
        CheckPage(doc->Frame(), model + " / " + node->Caption());
        for (int i = 0; i < node->ChildCount(); ++i) VisitNodes(node->Child(i), model);
    }
};

TEST_F(EveryPageBinding, EveryPageOfEveryModel)
{
    int models = 0;
    for (int code = 0; code < ModelCount; ++code) {
        const TModelEntry* entry = ModelEntry(code);
        if (!entry || !entry->Make) continue; // a model this program has no document for
        ++models;
        const std::string model = ModelNames[code];
        doc->CreateDocumentForModel(code, model);
        doc->RefreshTree();
        ASSERT_NE(doc->Document(), nullptr) << model;
        VisitNodes(doc->Groups().Root, model);

        // Each protocol in each role on the first slot: the device page with its role and
        // protocol pages.
        for (int index = 0; index < ProtocolCount; ++index) {
            for (int role : {0, 1}) {
                UseSlot(*doc->Document(), 0, index, 0, role, 1);
                doc->RefreshTree();
                view->setCurrentItem(view->ItemOf(DevNode(0)));
                Process();
                ASSERT_NE(doc->Frame(), nullptr) << model << " protocol " << index;
                CheckPage(doc->Frame(), model + " / protocol " + std::to_string(index) + " role " +
                                            std::to_string(role));
                view->setCurrentItem(view->ItemOf(doc->Groups().Root));
                Process();
            }
        }
    }
    EXPECT_GE(models, 1);
}

// The checks catch a page whose table binds a field twice, asks for a key the document
// lacks, or leaves a row unbound.
class TFaultyPage : public TParamFrame {
public:
    static const TPageTable Table;

protected:
    TFaultyPage(QTreeWidget* tree, TFieldLst* list, QWidget* parent) : TParamFrame(tree, list, parent)
    {
        setObjectName("frFaulty");
        BuildPage(*this, *new QVBoxLayout(this), Table);
    }
};

const TPageRow kFaultyRows[] = {
    {.Panel = nullptr, .Name = "chOne", .Kind = TControlKind::CheckBox, .Key = "012", .Caption = "Один"},
    {.Panel = nullptr, .Name = "chMissing", .Kind = TControlKind::CheckBox, .Key = "no_such_key", .Caption = "Нет"},
};
const TPageTable TFaultyPage::Table{"TFaultyPage", {}, kFaultyRows};

TEST_F(EveryPageBinding, ChecksCatchFaultyPages)
{
    UseSlot(*doc->Document(), 0, 2, 0, 0, 1);
    std::unique_ptr<TFaultyPage> page(MakeFrame<TFaultyPage>(nullptr, doc->Document()->DeviceByIndex(0), nullptr));
    auto* second = new QCheckBox(page.get());
    second->setObjectName("chAgain");
    page->BindControl(second, "012");

    ::testing::TestPartResultArray failures;
    {
        ::testing::ScopedFakeTestPartResultReporter reporter(
            ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &failures);
        CheckFrameBindings(*page, "faulty");
    }
    std::string all;
    for (int i = 0; i < failures.size(); ++i) all += failures.GetTestPartResult(i).message() + std::string("\n");
    EXPECT_NE(all.find("the key \"no_such_key\" its list lacks (chMissing)"), std::string::npos) << all;
    EXPECT_NE(all.find("\"chAgain\" binds the field of \"chOne\" again"), std::string::npos) << all;
    EXPECT_NE(all.find("\"chMissing\" has the key \"no_such_key\" and is left unbound"), std::string::npos) << all;
}

// The builder refuses a table that binds one key twice, before it makes anything.
TEST(PageBuilder, RefusesAKeyGivenTwice)
{
    qttest::App();
    const TPageRow rows[] = {
        {.Panel = nullptr, .Name = "chFirst", .Kind = TControlKind::CheckBox, .Key = "012", .Caption = "Первый"},
        {.Panel = nullptr, .Name = "chSecond", .Kind = TControlKind::CheckBox, .Key = "012", .Caption = "Второй"},
    };
    QWidget parent;
    std::unique_ptr<TFaultyPage> page(MakeFrame<TFaultyPage>(nullptr, nullptr, &parent));
    page.release(); // the parent owns it
    auto* frame = parent.findChild<TParamFrame*>("frFaulty");
    ASSERT_NE(frame, nullptr);
    QVBoxLayout column;
    try {
        BuildPage(*frame, column, {"TTwice", {}, rows});
        ADD_FAILURE() << "no error";
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "TTwice: the key \"012\" is bound twice");
    }
    EXPECT_EQ(frame->findChild<QWidget*>("chFirst"), nullptr);
}

} // namespace
