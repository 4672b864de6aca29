// The configurator's page budgets, offscreen, through the program's main window: from
// the program's start (before the application object) to the common page shown, and
// switching between the device nodes of a document with every slot in use.
//
//   bench_pages [switches]
//
// switches: how many device-to-device switches to time (default 200); the mean and the
// worst are printed. The window's settings file goes to a temporary folder.

#include "configurator/pages/DocumentPages.h"
#include "configurator/FCfgMain.h"
#include "configurator/pages/FCommon.h"
#include "configurator/pages/FDevice.h"
#include "configurator/widgets/TreeComponent.h"
#include "configurator/widgets/TreeView.h"
#include "model/uZumo2.h"
#include "platform/ProgramDir.h"
#include "platform/Windows.h"
#include "platform/qt/QtDialogs.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
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

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const auto programStart = Clock::now();
    const int switches = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
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

        // Every slot in use, КП and ПУ, on every port.
        auto* doc = dynamic_cast<TZumo2Doc*>(window.Controller().Document());
        std::vector<double> times;
        int count = 0;
        if (result == 0 && doc) {
            const int protocols[] = {1, 2, 4, 5, 7, 9, 12, 15, 16, 23};
            for (int i = 0; i < doc->DeviceCount(); ++i) {
                TDevice& device = *doc->DeviceByIndex(i);
                SetValue(device, "004", ProtocolCodes[protocols[i % 10]]);
                SetValue(device, "011", i % 2);
                SetValue(device, "002", i % 3);
                SetValue(device, "000", i + 1);
            }
            window.DocTree()->RefreshTree();
            QTreeWidgetItem* devices = view->topLevelItem(0)->child(1);
            count = devices->childCount();
            for (int k = 0; k < switches && result == 0; ++k) {
                QTreeWidgetItem* item = devices->child((k + 1) % count);
                const auto start = Clock::now();
                view->setCurrentItem(item);
                window.UpdateControls();
                Settle();
                times.push_back(Ms(start));
                if (!qobject_cast<TfrDevice*>(window.ShownFrame())) {
                    std::fprintf(stderr, "switch %d shows no device page\n", k);
                    result = 1;
                }
            }
        }

        std::printf("start to the common page shown : %8.3f ms (budget 500 ms)\n", toCommon);
        if (!times.empty()) {
            const double mean = std::accumulate(times.begin(), times.end(), 0.0) / static_cast<double>(times.size());
            const double worst = *std::max_element(times.begin(), times.end());
            std::printf("device node switches (%d devices, %zu switches): mean %8.3f ms, worst %8.3f ms (budget 50 ms)\n",
                        count, times.size(), mean, worst);
        }
        platform::SetTerminating(true);
    }
    fs::remove_all(dir);
    return result;
}
