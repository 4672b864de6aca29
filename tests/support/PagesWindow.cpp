#include "tests/support/PagesWindow.h"

#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
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

QWidget* PagesWindow::HostedProtocolPage(const TfrDevice& page) { return page.ProtocolFrame(); }

TZumo2Doc& PagesWindow::UseModel(int code)
{
    kept = CreateModelDocument(code, ModelNames[code]);
    doc->AttachDocument(kept.get(), code);
    doc->RefreshTree();
    return *kept;
}

} // namespace testsupport
