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
// The logical channels first get alternating kinds (ТС, ТИТ), so that each stands in a
// group of its own and the logical channel grid holds its most rows (3 per channel but
// the first separator); its switches check that many rows. Then a channel between two
// others is stepped to their kind and back with Ctrl+Up/Ctrl+Down on its type column,
// each step timed with the rebuild it posts.
// protocol: a protocol index (1 .. 28) that every slot then uses in the КП role; the
// classes of the protocol pages the device switches showed are printed, and a device
// switch that shows none fails the run ("bench_pages 60 17 28": the Siemens Symap
// page on every device switch).
// A channel grid node must show its page with one row per record (a device's channel
// blocks, a Zumo 7 document's own or DIO channels), else the run fails. A new Zumo 7
// document's board dialog is answered as closed: the default board.
// Then pastes through the scale pages with a clipboard in memory, each timed with the
// grid's repaint (median and worst of five): a full table of the first used device's
// scale blocks, the full conversion table (with 128-character descriptions where the
// model has them), and a 1,000-line table each page refuses by its row count.

#include "bench/ScratchDir.h"
#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevScale.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FDeviceGroup.h"
#include "configurator/pages/FLogicCh.h"
#include "configurator/pages/FModem.h"
#include "configurator/pages/FScale.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/rules/ScaleGridRules.h"
#include "configurator/widgets/GridFrame.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/TreeView.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "model/uZumo7.h"
#include "platform/ProgramDir.h"
#include "platform/Windows.h"
#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTableView>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <numeric>
#include <optional>
#include <set>
#include <string>
#include <utility>
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

// The program's dialogs, but a new Zumo 7 document's board dialog answered as closed
// (the default board) without showing it.
class TBenchDialogs : public platform::DialogService {
public:
    explicit TBenchDialogs(std::shared_ptr<platform::DialogService> shown) : shown_(std::move(shown)) {}

protected:
    platform::MsgResult DoMessageBox(const platform::MessageBoxRequest& request) override
    {
        return shown_->MessageBox(request);
    }
    platform::FileDialogResult DoFileDialog(const platform::FileDialogRequest& request) override
    {
        return shown_->FileDialog(request);
    }
    std::optional<std::string> DoInputQuery(const platform::InputRequest& request) override
    {
        return shown_->InputQuery(request);
    }
    platform::MsgResult DoShowForm(const platform::FormRequest& request) override
    {
        if (request.model && request.model->FormName() == "TfmBoardModif") return platform::MsgResult::Cancel;
        return shown_->ShowForm(request);
    }
    std::unique_ptr<platform::WaitWindow> DoShowWaitWindow(const platform::WaitWindowRequest& request) override
    {
        return shown_->ShowWaitWindow(request);
    }

private:
    std::shared_ptr<platform::DialogService> shown_;
};

// The page a grid node must show: its class and one row per record (the document's
// apertures or conversions, a device's aperture, channel or scale blocks, a Zumo 7
// document's own or DIO channels), or the logical channel grid with its rows; none for
// nodes of other kinds.
struct TExpectedGrid {
    const char* Class;
    int Rows;
};
std::optional<TExpectedGrid> ExpectedGridOf(TFrameKind kind, const TNodeTree* node, const TZumo2Doc& doc,
                                            int logicRows)
{
    const auto* device = node ? dynamic_cast<const TDevice*>(node->FieldList()) : nullptr;
    const auto* zumo7 = dynamic_cast<const TZumo7Doc*>(&doc);
    switch (kind) {
    case TFrameKind::Apertures: return TExpectedGrid{"TfrApperture", doc.ApertureCount()};
    case TFrameKind::DevApertures:
        return TExpectedGrid{"TfrDevApperture", device ? device->ApertureBlockCount() : -1};
    case TFrameKind::DevChannels: return TExpectedGrid{"TfrDevChannels", device ? device->ChannelBlockCount() : -1};
    case TFrameKind::InternalChannels:
        return TExpectedGrid{"TfrInternalCh", zumo7 ? zumo7->InternalChannelCount() : -1};
    case TFrameKind::DIOChannels: return TExpectedGrid{"TfrDIOChannel", zumo7 ? zumo7->DioChannelCount() : -1};
    case TFrameKind::LogicChannels: return TExpectedGrid{"TfrLogicCh", logicRows};
    case TFrameKind::Scales: return TExpectedGrid{"TfrScale", doc.ScaleCount()};
    case TFrameKind::DevScales: return TExpectedGrid{"TfrDevScale", device ? device->ScaleBlockCount() : -1};
    default: return std::nullopt;
    }
}

// Gives the logical channels the kinds ТС and ТИТ in turn: no two neighbours share a
// group. The rows the grid then holds.
int AlternateLogicKinds(TZumo2Doc& doc)
{
    for (int i = 0; i < doc.LogicChannelCount(); ++i)
        SetValue(*doc.LogicChannelByIndex(i), "002", ChannelTypeCodes[1 + i % 2]);
    return doc.LogicChannelCount() > 0 ? 3 * doc.LogicChannelCount() - 1 : 0;
}

// Ctrl+Up or Ctrl+Down on the type column of a channel of the logical channel page,
// until the rebuild it posted has run: the milliseconds, or -1 when none ran.
double TimeTypeStep(TfrLogicCh& page, const TLogic* channel, bool up)
{
    const int position = LogicRowPosition(page.Model()->Rows(), channel);
    if (position < 0) return -1;
    page.FocusCell(position, lcType);
    int resets = 0;
    const QMetaObject::Connection counting =
        QObject::connect(page.Model(), &QAbstractItemModel::modelReset, [&resets] { ++resets; });
    const auto start = Clock::now();
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, up ? Qt::Key_Up : Qt::Key_Down, Qt::ControlModifier);
        QApplication::sendEvent(page.vtGrid, &key);
    }
    const bool rebuilt = PumpUntil([&] { return resets > 0; });
    Settle();
    const double ms = Ms(start);
    QObject::disconnect(counting);
    return rebuilt ? ms : -1;
}

double Median(std::vector<double> times)
{
    if (times.empty()) return 0;
    std::sort(times.begin(), times.end());
    const size_t n = times.size();
    return n % 2 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
}

// A scale table of rows lines: conversions k, b (and a description of 128 letters),
// or scale blocks VAK, count and a conversion number.
std::string ScaleTable(TScaleTableKind kind, int rows, bool descriptions, int conversions)
{
    std::string text = std::string(ScaleTableHeader(kind)) + "\r\n";
    std::string description;
    for (int i = 0; i < 128; ++i) description += i % 2 ? "ш" : "Д";
    for (int i = 0; i < rows; ++i) {
        if (kind == TScaleTableKind::Conversions)
            text += std::to_string(i + 2) + "\t-0.25" + (descriptions ? "\t" + description : std::string()) + "\r\n";
        else
            text += std::to_string(100 + 4 * i) + "\t4\t" + std::to_string(i % conversions + 1) + "\tX*1.0000 \r\n";
    }
    return text;
}
// Median and worst.
std::pair<double, double> MedianAndWorst(const std::vector<double>& times)
{
    if (times.empty()) return {0, 0};
    return {Median(times), *std::max_element(times.begin(), times.end())};
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

    const fs::path dir = MakeScratchDir("bench_pages");
    if (dir.empty()) return 1;

    int result = 0;
    {
        QApplication app(argc, argv);
        platform::qt::InstallQtDialogService();
        platform::SetDialogService(std::make_shared<TBenchDialogs>(platform::Dialogs()));
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
        int logicRows = 0;               // the rows of the logical channel grid
        std::vector<double> typeSteps;   // type steps with their rebuilds
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
            logicRows = AlternateLogicKinds(*doc);
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
                if (const auto expected = ExpectedGridOf(kind, view->NodeOf(item), *doc, logicRows)) {
                    auto* grid = qobject_cast<TGridFrame*>(shown);
                    const int rows = grid ? grid->Model()->rowCount() : -1;
                    if (!grid || std::strcmp(grid->metaObject()->className(), expected->Class) != 0 ||
                        rows != expected->Rows) {
                        std::fprintf(stderr, "switch %d to a %s node shows %s with %d rows, not %s with %d\n", k,
                                     FrameKindName(kind), shown ? shown->metaObject()->className() : "no page", rows,
                                     expected->Class, expected->Rows);
                        result = 1;
                    }
                }
            }

            // Type steps on the logical channel grid: a ТС channel between two ТИТ joins
            // their group and leaves it again, a rebuild each time.
            QTreeWidgetItem* logicItem = groups.LogicChannels ? view->ItemOf(groups.LogicChannels) : nullptr;
            const TLogic* stepped = doc->LogicChannelCount() > 2 ? doc->LogicChannelByIndex(2) : nullptr;
            if (result == 0 && logicItem && stepped && Frames().Has(TFrameKind::LogicChannels)) {
                view->setCurrentItem(logicItem);
                Settle();
                auto* page = qobject_cast<TfrLogicCh*>(window.ShownFrame());
                for (int k = 0; page && k < std::min(switches, 40) && result == 0; ++k) {
                    const double ms = TimeTypeStep(*page, stepped, k % 2 == 0);
                    const int rows = page->Model()->rowCount();
                    if (ms < 0 || rows != (k % 2 == 0 ? logicRows - 4 : logicRows)) {
                        std::fprintf(stderr, "type step %d: no rebuild, or %d rows\n", k, rows);
                        result = 1;
                    }
                    typeSteps.push_back(ms);
                }
                if (!page) {
                    std::fprintf(stderr, "the logical channel group shows no TfrLogicCh\n");
                    result = 1;
                }
            }
        }

        // Pastes through the scale pages.
        struct TPasteFigure {
            std::string what;
            std::vector<double> times;
        };
        std::vector<TPasteFigure> pastes;
        for (const TFrameKind kind : {TFrameKind::DevScales, TFrameKind::Scales}) {
            if (result != 0 || !doc || gridNodes[kind].empty() || !Frames().Has(kind)) continue;
            view->setCurrentItem(gridNodes[kind].front());
            Settle();
            auto* page = qobject_cast<TScaleGridFrame*>(window.ShownFrame());
            if (!page) {
                std::fprintf(stderr, "no scale page on a %s node\n", FrameKindName(kind));
                result = 1;
                break;
            }
            auto clipboard = std::make_shared<TMemoryClipboard>();
            page->SetClipboard(clipboard);
            const TScaleTableKind table =
                kind == TFrameKind::Scales ? TScaleTableKind::Conversions : TScaleTableKind::DeviceScales;
            const int rows = page->Model()->rowCount();
            const bool described = !page->vtGrid->isColumnHidden(kind == TFrameKind::Scales ? int{sgDescription} : int{dsDescription});
            const std::string full = ScaleTable(table, rows, described, doc->ScaleCount());
            const std::string tooLong = ScaleTable(table, 1000, described, doc->ScaleCount());
            TPasteFigure whole{std::to_string(rows) + (kind == TFrameKind::Scales ? " conversions" : " scale blocks") +
                                   (described ? " with descriptions" : ""), {}};
            TPasteFigure refused{"1,000 lines, refused (" + std::string(FrameKindName(kind)) + ")", {}};
            for (int run = 0; run < 5 && result == 0; ++run) {
                for (auto* figure : {&whole, &refused}) {
                    clipboard->Content = figure == &whole ? full : tooLong;
                    std::string error;
                    const auto start = Clock::now();
                    try {
                        page->PasteFromClipboard();
                    } catch (const std::exception& e) {
                        error = e.what();
                    }
                    Settle();
                    figure->times.push_back(Ms(start));
                    const std::string wanted = figure == &whole ? "" : "Превышение кол. строк импорта";
                    if (error != wanted) {
                        std::fprintf(stderr, "paste of %s: \"%s\"\n", figure->what.c_str(), error.c_str());
                        result = 1;
                    }
                }
            }
            pastes.push_back(std::move(whole));
            pastes.push_back(std::move(refused));
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
        if (!typeSteps.empty()) {
            std::printf("logical channel grid of %d rows, type step with its posted rebuild (%zu steps): mean %8.3f ms, "
                        "median %8.3f ms, worst %8.3f ms (budget 50 ms)\n",
                        logicRows, typeSteps.size(),
                        std::accumulate(typeSteps.begin(), typeSteps.end(), 0.0) / static_cast<double>(typeSteps.size()),
                        Median(typeSteps), *std::max_element(typeSteps.begin(), typeSteps.end()));
        }
        if (!pastes.empty()) {
            std::printf("pastes through the scale pages with the repaint (budget 200 ms each):\n");
            for (const TPasteFigure& paste : pastes) {
                const auto [median, worst] = MedianAndWorst(paste.times);
                std::printf("  %-45s: median %8.3f ms, worst %8.3f ms\n", paste.what.c_str(), median, worst);
            }
        }
        platform::SetTerminating(true);
    }
    fs::remove_all(dir);
    return result;
}
