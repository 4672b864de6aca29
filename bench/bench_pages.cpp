// The configurator's page budgets, offscreen, through the program's main window: from
// the program's start (before the application object) to the common page shown, and
// switching among the root, the devices group and the device nodes of a document with
// every slot in use.
//
//   bench_pages [switches [model [protocol]]]
//
// switches: how many switches to time (default 200); the mean and the worst are
// printed, and how many device switches showed a protocol page, with the device
// switches' mean and worst by the protocol page they showed. Then as many switches
// among the grid and modem nodes whose kind has a page (the group grids, the block grids
// of the used devices, the modems of a Pelvar document): per page kind its first (cold)
// opening and the mean and worst of the later switches; kinds without a page are named.
// model: a model code or name (default the start-up model); its document is made through
// the model list as the user's choice makes it. The window's settings file goes to a
// temporary folder.
// protocol: a protocol index (1 .. 28) that every slot then uses in the КП role; the
// classes of the protocol pages the device switches showed are printed, and a device
// switch that shows none fails the run ("bench_pages 60 17 28": the Siemens Symap
// page on every device switch).

#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGroup.h"
#include "configurator/pages/FModem.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/widgets/GridFrame.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/TreeView.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "platform/ProgramDir.h"
#include "platform/Windows.h"
#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <set>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <numeric>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point since) { return std::chrono::duration<double, std::milli>(Clock::now() - since).count(); }

// Handles events until done() holds; false after 20 s.
bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > 20000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

// Until the window has painted what it shows.
void Settle()
{
    QApplication::sendPostedEvents();
    QApplication::processEvents();
}

void SetValue(TFieldLst& list, const char* key, int32_t value)
{
    if (auto* field = dynamic_cast<TField*>(list.FindField(key))) field->SetValue(value);
}

// A model code, or the code of a model name; -1 for neither.
int ModelCode(const char* arg)
{
    char* end = nullptr;
    const long code = std::strtol(arg, &end, 10);
    if (end != arg && *end == 0) return code >= 0 && code < ModelCount ? static_cast<int>(code) : -1;
    for (int i = 0; i < ModelCount; ++i)
        if (ModelNames[i] == std::string(arg)) return i;
    return -1;
}

// The protocol indexes of a mask, ascending.
std::vector<int> ProtocolsOf(uint32_t mask)
{
    std::vector<int> protocols;
    for (int i = 1; i < ProtocolCount; ++i)
        if (mask & (uint32_t{1} << i)) protocols.push_back(i);
    return protocols;
}

// The child of a node whose caption is the text; none without one.
QTreeWidgetItem* ChildByCaption(QTreeWidgetItem* parent, const QString& caption)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == caption) return parent->child(i);
    return nullptr;
}

// The grid and modem nodes below a node (itself included) by the kind of their page.
void CollectGridNodes(TNodeTree* node, TDocument* document, const TTreeGroups& groups, const TDocTreeView& view,
                      std::map<TFrameKind, std::vector<QTreeWidgetItem*>>& nodes)
{
    if (!node || !node->Visible()) return;
    switch (const TFrameKind kind = FrameKindForNode(node, document, groups).Kind) {
    case TFrameKind::LogicChannels:
    case TFrameKind::InternalChannels:
    case TFrameKind::DIOChannels:
    case TFrameKind::Apertures:
    case TFrameKind::Scales:
    case TFrameKind::DevChannels:
    case TFrameKind::DevApertures:
    case TFrameKind::DevScales:
    case TFrameKind::Modem:
        if (QTreeWidgetItem* item = view.ItemOf(node)) nodes[kind].push_back(item);
        break;
    default: break;
    }
    for (int i = 0; i < node->ChildCount(); ++i) CollectGridNodes(node->Child(i), document, groups, view, nodes);
}

// Whether a page is a device page: the common one or a family's (Pelvar, Tramel-5141);
// protocol := the protocol page it shows, none when it shows none.
bool IsDevicePage(QWidget* page, TParamFrame*& protocol)
{
    protocol = nullptr;
    if (auto* common = qobject_cast<TfrDevice*>(page))
        protocol = common->ProtocolFrame();
    else if (auto* family = qobject_cast<TFamilyDevicePage*>(page))
        protocol = family->ProtocolFrame();
    else
        return false;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const auto programStart = Clock::now();
    const int switches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    const int model = argc > 2 ? ModelCode(argv[2]) : -1;
    if (argc > 2 && model < 0) {
        std::fprintf(stderr, "model %s: unknown\n", argv[2]);
        return 1;
    }
    const int protocol = argc > 3 ? std::atoi(argv[3]) : 0;
    if (argc > 3 && (protocol < 1 || protocol >= ProtocolCount)) {
        std::fprintf(stderr, "protocol %s: not an index 1 .. %d\n", argv[3], ProtocolCount - 1);
        return 1;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    std::string pattern = (fs::temp_directory_path() / "bench_pages.XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const fs::path dir = pattern;

    int result = 0;
    {
        QApplication app(argc, argv);
        platform::qt::InstallQtDialogService();
        RegisterDocumentPages();
        TCfgMainOptions options;
        options.IniFile = dir / "Mirvak.ini";
        options.VersionFile = (platform::ExecutableDir() / "Mirvak").string();
        TfmCfgMain window(options);
        window.resize(1000, 700);
        window.show();
        // The start-up message makes the document; the user then picks the root.
        TDocTreeView* view = window.DocTree()->View();
        const bool started = PumpUntil([&] { return view->topLevelItemCount() > 0; });
        if (started) view->setCurrentItem(view->topLevelItem(0));
        Settle();
        const double toCommon = Ms(programStart);
        if (!started || !qobject_cast<TfrCommon*>(window.ShownFrame())) {
            std::fprintf(stderr, "the common page is not shown\n");
            result = 1;
        }

        // The model asked for, as the user picks it from the model list.
        if (result == 0 && model >= 0 && model != window.Controller().ModelCode()) {
            window.Controller().ChangeModel(model);
            PumpUntil([&] { return view->topLevelItemCount() > 0; });
            Settle();
        }

        // Every slot in use: the document's КП and ПУ protocols in turn, on every port.
        auto* doc = dynamic_cast<TZumo2Doc*>(window.Controller().Document());
        std::vector<double> rootTimes, groupTimes, deviceTimes;
        std::map<TFrameKind, std::vector<QTreeWidgetItem*>> gridNodes;
        std::map<TFrameKind, std::vector<double>> gridTimes; // the first is the cold opening
        int count = 0;
        int hosted = 0; // device switches that showed a protocol page
        std::set<std::string> pageClasses; // of the protocol pages they showed
        std::map<std::string, std::vector<double>> byPage; // device switch times by the protocol page shown
        if (result == 0 && doc) {
            const std::vector<int> kp = protocol > 0 ? std::vector<int>{protocol} : ProtocolsOf(doc->KpProtocolMask);
            const std::vector<int> pu = protocol > 0 ? std::vector<int>{} : ProtocolsOf(doc->PuProtocolMask);
            const int ports = static_cast<int>(doc->GetPortNames().size());
            for (int i = 0; i < doc->DeviceCount(); ++i) {
                TDevice& device = *doc->DeviceByIndex(i);
                const bool isPu = i % 2 == 1 && !pu.empty();
                const std::vector<int>& protocols = isPu ? pu : kp;
                if (protocols.empty()) continue;
                SetValue(device, "011", isPu ? 1 : 0);
                SetValue(device, "004", ProtocolCodes[protocols[static_cast<size_t>(i / 2) % protocols.size()]]);
                SetValue(device, "002", ports > 0 ? i % ports : 0);
                SetValue(device, "000", i + 1);
            }
            window.DocTree()->RefreshTree();
            Settle();
            QTreeWidgetItem* root = view->topLevelItem(0);
            QTreeWidgetItem* devices = ChildByCaption(root, "Устройства");
            if (!devices || devices->childCount() == 0) {
                std::fprintf(stderr, "no \"Устройства\" group with devices\n");
                result = 1;
            } else {
                count = devices->childCount();
            }
            // Root, devices group, a device, and again: every third switch of each kind.
            for (int k = 0; k < switches && result == 0; ++k) {
                QTreeWidgetItem* item = k % 3 == 0 ? root : k % 3 == 1 ? devices : devices->child((k / 3 + 1) % count);
                const auto start = Clock::now();
                view->setCurrentItem(item);
                window.UpdateControls();
                Settle();
                const double ms = Ms(start);
                QWidget* shown = window.ShownFrame();
                TParamFrame* shownProtocol = nullptr;
                const bool right = k % 3 == 0   ? qobject_cast<TfrCommon*>(shown) != nullptr
                                   : k % 3 == 1 ? qobject_cast<TfrDeviceGroup*>(shown) != nullptr
                                                : IsDevicePage(shown, shownProtocol);
                if (!right) {
                    std::fprintf(stderr, "switch %d shows the wrong page\n", k);
                    result = 1;
                }
                (k % 3 == 0 ? rootTimes : k % 3 == 1 ? groupTimes : deviceTimes).push_back(ms);
                if (k % 3 == 2 && shownProtocol) {
                    ++hosted;
                    pageClasses.insert(shownProtocol->metaObject()->className());
                }
                if (k % 3 == 2) byPage[shownProtocol ? shownProtocol->metaObject()->className() : "no page"].push_back(ms);
                if (k % 3 == 2 && right && !shownProtocol && protocol > 0) {
                    std::fprintf(stderr, "device switch %d shows no protocol page\n", k);
                    result = 1;
                }
                auto* group = k % 3 == 1 ? qobject_cast<TfrDeviceGroup*>(shown) : nullptr;
                if (group && group->Grid()->model()->rowCount() != count) {
                    std::fprintf(stderr, "the devices group lists %d rows, not %d\n",
                                 group->Grid()->model()->rowCount(), count);
                    result = 1;
                }
            }

            // The grid nodes whose kind has a page, the kinds in turn.
            const TTreeGroups& groups = window.DocTree()->Tree().Groups();
            CollectGridNodes(groups.Root, doc, groups, *view, gridNodes);
            std::vector<TFrameKind> paged;
            for (const auto& [kind, items] : gridNodes)
                if (Frames().Has(kind)) paged.push_back(kind);
            const int kinds = static_cast<int>(paged.size());
            for (int k = 0; k < switches && result == 0 && kinds > 0; ++k) {
                const TFrameKind kind = paged[static_cast<size_t>(k % kinds)];
                const std::vector<QTreeWidgetItem*>& items = gridNodes[kind];
                QTreeWidgetItem* item = items[static_cast<size_t>(k / kinds) % items.size()];
                if (view->currentItem() == item) {
                    view->setCurrentItem(root);
                    Settle();
                }
                const auto start = Clock::now();
                view->setCurrentItem(item);
                window.UpdateControls();
                Settle();
                gridTimes[kind].push_back(Ms(start));
                QWidget* shown = window.ShownFrame();
                const bool right = kind == TFrameKind::Modem ? qobject_cast<TfrModem*>(shown) != nullptr
                                                             : qobject_cast<TGridFrame*>(shown) != nullptr;
                if (!right) {
                    std::fprintf(stderr, "switch %d to a %s node shows the wrong page\n", k, FrameKindName(kind));
                    result = 1;
                }
            }
        }

        std::printf("start to the common page shown : %8.3f ms (budget 500 ms)\n", toCommon);
        std::vector<double> all;
        for (const auto* times : {&rootTimes, &groupTimes, &deviceTimes}) all.insert(all.end(), times->begin(), times->end());
        if (!all.empty()) {
            const auto report = [](const char* what, const std::vector<double>& times) {
                if (times.empty()) return;
                const double mean = std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
                const double worst = *std::max_element(times.begin(), times.end());
                std::printf("  %-13s (%3zu switches): mean %8.3f ms, worst %8.3f ms\n", what, times.size(), mean, worst);
            };
            std::printf("model %d \"%s\", %d devices in use\n", window.Controller().ModelCode(),
                        window.Controller().ModelText().c_str(), count);
            report("to the root", rootTimes);
            report("to the group", groupTimes);
            report("to a device", deviceTimes);
            std::printf("  %d of %zu device switches showed a protocol page\n", hosted, deviceTimes.size());
            for (const auto& [page, times] : byPage) report(("  " + page).c_str(), times);
            if (protocol > 0)
                for (const std::string& name : pageClasses) std::printf("  protocol page %s\n", name.c_str());
            report("all switches", all);
            std::printf("  budget 50 ms per switch\n");
        }
        if (!gridNodes.empty()) {
            std::printf("grid and modem nodes (budgets: first opening 100 ms, later switches 50 ms):\n");
            std::string without;
            for (const auto& [kind, items] : gridNodes) {
                const auto it = gridTimes.find(kind);
                if (it == gridTimes.end() || it->second.empty()) {
                    without += std::string(without.empty() ? "" : ", ") + FrameKindName(kind);
                    continue;
                }
                const std::vector<double>& times = it->second;
                std::printf("  %-16s (%3zu nodes): first %8.3f ms", FrameKindName(kind), items.size(), times.front());
                if (times.size() > 1) {
                    const double mean =
                        std::accumulate(times.begin() + 1, times.end(), 0.0) / static_cast<double>(times.size() - 1);
                    const double worst = *std::max_element(times.begin() + 1, times.end());
                    std::printf(", %3zu later switches: mean %8.3f ms, worst %8.3f ms", times.size() - 1, mean, worst);
                }
                std::printf("\n");
            }
            if (!without.empty()) std::printf("  no page registered yet: %s\n", without.c_str());
        }
        platform::SetTerminating(true);
    }
    fs::remove_all(dir);
    return result;
}
