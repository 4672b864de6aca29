#include "tests/support/PagesWindow.h"

#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/tree/ModelFactory.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"

namespace testsupport {

void PagesWindow::SetUp()
{
    RegisterDocumentPages(registry);
    Open(900, 700, true);
    doc->RefreshTree();
}

void PagesWindow::TearDown() { Close(); }

TZumo2Doc& PagesWindow::Document() { return *doc->Document(); }

TfrDevice* PagesWindow::SelectDevice(int slot) { return Select<TfrDevice>(DevNode(slot)); }

TDevice& PagesWindow::Device(int slot) { return *Document().DeviceByIndex(slot); }

QWidget* PagesWindow::HostedProtocolPage(QWidget* page)
{
    if (auto* common = dynamic_cast<TfrDevice*>(page)) return common->ProtocolFrame();
    if (auto* family = dynamic_cast<TFamilyDevicePage*>(page)) return family->ProtocolFrame();
    return nullptr;
}

TZumo2Doc& PagesWindow::UseModel(int code)
{
    kept = CreateModelDocument(code, ModelNames[code]);
    doc->AttachDocument(kept.get(), code);
    doc->RefreshTree();
    return *kept;
}

} // namespace testsupport
