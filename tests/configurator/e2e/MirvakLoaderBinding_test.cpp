// The loader operations of the main window end to end: the window with the built loader
// library, the controller simulator on a pseudo-terminal mapped as a COM port, and a
// files folder of its own. The executable's name holds "mirvak" and it carries the
// program's version record, so the library takes it for the configurator and warns of
// nothing.

#include "tests/support/QtTestApp.h"

#include "configurator/FCfgMain.h"
#include "configurator/pages/DocumentPages.h"
#include "configurator/widgets/MessageList.h"
#include "configurator/widgets/StatusBar.h"
#include "configurator/widgets/TreeComponent.h"
#include "loader/core/Chips.h"
#include "model/Memory.h"
#include "model/uZumo2.h"
#include "platform/Format.h"
#include "platform/SerialPorts.h"
#include "tests/sim/ControllerSim.h"
#include "tests/sim/LoaderEnv.h"
#include "tests/sim/SimMemory.h"
#include "tests/support/DialogScript.h"
#include "tests/support/DocumentImage.h"
#include "tests/support/TempDir.h"
#include "tests/support/TreeFixtures.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QProgressBar>
#include <QToolBar>
#include <QTreeWidget>

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using platform::DialogKind;
using platform::MsgResult;
using qttest::PumpUntil;
using testsupport::ReadFile;
using testsupport::WriteFile;

const fs::path kLibrary = MIRVAK_BINARY_DIR "/bin/libSarnupolexLib.so";
const std::string kRead = "Считать параметры";
// The simulated controller's chip, and its index in the chip table of a fresh files
// folder: the built-in rows, listed last first.
const std::string kChip = "STM32f103re";
constexpr int kChipIndex = 12;
constexpr const char* kDeviceName = "Zumo2-sim";
// Where the firmware's version marker sits: in the first chunk the version search reads.
constexpr uint32_t kFirmwareIdAddress = 0x08000100;
// The base document's third block, absolute: 0x0800B000 .. 0x0800B785.
constexpr uint32_t kTitBlockStart = 0x0800B000;
constexpr uint32_t kTitBlockEnd = 0x0800B785;

// One block of a parameter file: absolute address and bytes.
struct FileBlock {
    uint32_t address = 0;
    std::string bytes;
};

// A parameter file as the model saves it from a base document with two devices and
// changed common fields; its blocks, read back from the file.
std::vector<FileBlock> SavedParameterFile(const fs::path& file)
{
    const std::unique_ptr<TZumo2Doc> doc = testsupport::NewZumo2Doc();
    constexpr int modbus = 2; // protocol index
    testsupport::UseSlot(*doc, 0, modbus, 0, 0, 1);
    testsupport::UseSlot(*doc, 1, modbus, 2, 0, 7);
    const struct {
        const char* key;
        int32_t value;
    } common[] = {{"time_offset", 3}, {"TS_DPI_buf_size", 300}, {"041", 800}, {"044", 720}};
    for (const auto& c : common) {
        TField* field = doc->Find<TField>(c.key);
        EXPECT_NE(field, nullptr) << c.key;
        if (field) field->SetValue(c.value);
    }
    doc->SaveToFile(file);

    TMemory image;
    std::ifstream in(file, std::ios::binary);
    image.LoadFromHexStream(in, 0);
    // The reader keeps one block per record: adjoining records make one block.
    std::vector<FileBlock> blocks;
    for (int i = 0; i < image.BlockCount(); ++i) {
        const TMemoryBlock* record = image.BlockByIndex(i);
        const std::string bytes(reinterpret_cast<const char*>(record->Data()), static_cast<size_t>(record->Size));
        if (!blocks.empty() && blocks.back().address + blocks.back().bytes.size() == record->Address)
            blocks.back().bytes += bytes;
        else
            blocks.push_back({record->Address, bytes});
    }
    return blocks;
}

// The absolute address of a linear block read request (its PDU); none for another
// request.
std::optional<uint32_t> BlockReadAddress(const std::string& pdu)
{
    if (pdu.size() != 10 || static_cast<uint8_t>(pdu[1]) != 0x14) return std::nullopt;
    uint32_t address = 0;
    for (size_t i = 4; i < 8; ++i) address = address << 8 | static_cast<uint8_t>(pdu[i]);
    return address;
}

class LoaderBindingEndToEnd : public ::testing::Test {
protected:
    void SetUp() override
    {
        qttest::App();
        RegisterDocumentPages(); // as the program does
    }

    void TearDown() override
    {
        window.reset();
        EXPECT_EQ(dlopen(kLibrary.c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library stays loaded";
        EXPECT_FALSE(fs::exists(dir / ("Sarnupolex.dvs.tmp" + std::to_string(getpid()))));
        controller.Stop();
        for (const std::string& error : memory.ProtocolErrors()) ADD_FAILURE() << "protocol error: " << error;
        for (const platform::DialogRecord& r : dialogs->UnexpectedRecords())
            ADD_FAILURE() << "unexpected dialog: " << r.Describe();
        EXPECT_EQ(dialogs->AnswersLeft(), 0u);
    }

    // The controller holds the saved file's blocks (without its third one, whose reads
    // it then answers with the exception "illegal data address") and the
    // firmware's version marker (none: no marker); it listens on a pseudo-terminal mapped as COM5, the
    // files folder's only device.
    void StartController(bool withTitBlock = true, std::optional<uint32_t> marker = kFirmwareIdAddress)
    {
        blocks = SavedParameterFile(dir / "saved.hex");
        ASSERT_EQ(blocks.size(), 3u);
        ASSERT_EQ(blocks[2].address, kTitBlockStart);
        for (const FileBlock& b : blocks)
            if (withTitBlock || b.address != kTitBlockStart) memory.Write(false, b.address, b.bytes);
        if (marker) memory.PlaceMarker(false, *marker, "3.1.7");
        controller.SetHandler([this, withTitBlock](const std::string& pdu) -> std::optional<std::string> {
            const std::optional<uint32_t> address = BlockReadAddress(pdu);
            if (!withTitBlock && address && *address >= kTitBlockStart && *address < kTitBlockEnd)
                return std::string{pdu[0], '\x94', '\x02'}; // illegal data address
            return memory.Answer(pdu);
        });
        ports.emplace(platform::kComPortsVariable, "COM5=" + controller.AddPty());
        controller.Start();
        // The library's chip table with block reads awaited a second: a busy machine's
        // simulator answers within that, so that no late answer is taken for the next.
        TChips().Load(dir / "Chip.ini");
        std::string table = ReadFile(dir / "Chip.ini");
        const std::string key = "\nReadTimeOut=";
        for (size_t at = table.find(key); at != std::string::npos; at = table.find(key, at + 1)) {
            const size_t value = at + key.size();
            table.replace(value, table.find_first_of("\r\n", value) - value, "1000");
        }
        WriteFile(dir / "Chip.ini", table);
        WriteFile(dir / "Sarnupolex.dvs", std::string("Name=") + kDeviceName +
                                              ";ioType=iotSerial;SerialComNumber=5;SerialBaudRate=115200"
                                              ";RetryCount=2;Handshake=0;ControllerType=" +
                                              std::to_string(kChipIndex));
    }

    // The main window with the built library, its start-up done. Its new document counts
    // as saved, so that what marks it modified shows.
    TfmCfgMain& OpenWindow()
    {
        TCfgMainOptions options;
        options.LibraryFile = kLibrary;
        options.IniFile = dir / "Mirvak.ini";
        window = std::make_unique<TfmCfgMain>(options);
        window->show();
        EXPECT_TRUE(window->LibraryLoaded());
        EXPECT_TRUE(PumpUntil([&] { return window->Controller().Document() != nullptr; }));
        Document().SetModified(false);
        return *window;
    }

    TZumo2Doc& Document() { return dynamic_cast<TZumo2Doc&>(*window->Controller().Document()); }

    // The operations tool bar's action of that hint; none when it has none.
    QAction* Operation(const std::string& hint) const
    {
        for (QAction* action : window->tbOperations->actions())
            if (action->toolTip().toStdString() == hint) return action;
        return nullptr;
    }

    // The newest line of the message list, and the one before.
    const TLogEntry& Newest(int back = 0) const { return window->lbMsg->Log().Entry(back); }
    bool Logged(const std::string& text) const
    {
        const TMessageLog& log = window->lbMsg->Log();
        for (int i = 0; i < log.Count(); ++i)
            if (log.Entry(i).Text == text) return true;
        return false;
    }

    // Starts the read, answers its confirmation with OK, and waits until the operation
    // has logged its result and given the window back.
    void RunRead(const std::function<void()>& whileRunning = {})
    {
        QAction* read = Operation(kRead);
        ASSERT_NE(read, nullptr) << "no \"" << kRead << "\" on the operations tool bar";
        dialogs->PushAnswer(MsgResult::OK);
        read->trigger();
        if (whileRunning) whileRunning();
        ASSERT_TRUE(PumpUntil([&] {
            return window->lbMsg->Log().Count() > 0 && Newest().Text.rfind(kRead + " - ", 0) == 0 &&
                   window->tbOperations->isEnabled();
        }));
    }

    // The confirmation was the first dialog: the library's box on the main window.
    void ExpectConfirmation()
    {
        const auto records = dialogs->Records();
        ASSERT_FALSE(records.empty());
        const platform::DialogRecord& box = records.front();
        EXPECT_EQ(box.kind, DialogKind::MessageBox);
        EXPECT_EQ(box.box.text, std::string("Подтвердите операцию чтения параметров\nУстройство: ") + kDeviceName +
                                    "\nсоединение: COM5;115200");
        EXPECT_EQ(box.box.caption, "Предупреждение");
        EXPECT_EQ(box.box.buttons, platform::MsgButtons::OKCancel);
        EXPECT_EQ(box.owner, window->Handle());
    }

    // The files folder, the registry and the named objects (port locks) of this test alone.
    sim::LoaderEnv env;
    const testsupport::TempDir& dir = env.dir;
    std::optional<testsupport::ScopedEnv> ports;
    testsupport::DialogScript dialogs;
    sim::SimMemory memory{*sim::FindChipProfile(kChip)};
    sim::ControllerSim controller;
    std::vector<FileBlock> blocks;
    std::unique_ptr<TfmCfgMain> window;
};

TEST_F(LoaderBindingEndToEnd, ReadsTheControllersParametersIntoTheDocument)
{
    StartController();
    TfmCfgMain& w = OpenWindow();
    ASSERT_STREQ(Document().ClassName(), "TZumo2Doc");
    RunRead();
    ExpectConfirmation();
    EXPECT_EQ(dialogs->Records().size(), 1u);

    TZumo2Doc& doc = Document();
    ASSERT_EQ(doc.Image.BlockCount(), 3);
    for (int i = 0; i < doc.Image.BlockCount(); ++i) {
        const TMemoryBlock* block = doc.Image.BlockByIndex(i);
        const uint32_t start = doc.BaseAddress + block->Address;
        SCOPED_TRACE(platform::Format("block at %.8X", start));
        EXPECT_EQ(start, blocks[static_cast<size_t>(i)].address);
        EXPECT_TRUE(std::string(reinterpret_cast<const char*>(block->Data()), static_cast<size_t>(block->Size)) ==
                    memory.Read(false, start, static_cast<size_t>(block->Size)))
            << "the document holds other bytes than the controller";
    }
    EXPECT_EQ(doc.Find<TField>("TS_DPI_buf_size")->GetValue().ToInt32(), 300);
    EXPECT_TRUE(doc.IsModified());
    // The tree shows the two devices in use, in the model's tree and in the view.
    const TNodeTree* devices = w.DocTree()->Tree().Groups().Devices;
    ASSERT_NE(devices, nullptr);
    int visible = 0;
    for (int i = 0; i < devices->ChildCount(); ++i) visible += devices->Child(i)->Visible();
    EXPECT_EQ(visible, 2);
    const auto shown = w.vtTree->findItems(QStringLiteral("Устройства"), Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_EQ(shown.size(), 1);
    int rows = 0;
    for (int i = 0; i < shown.front()->childCount(); ++i) rows += !shown.front()->child(i)->isHidden();
    EXPECT_EQ(rows, 2);

    EXPECT_EQ(Newest().Text, kRead + " - Ok");
    EXPECT_EQ(Newest().Kind, 0);
    EXPECT_EQ(Newest(1).Text, "Параметры считаны");
    EXPECT_TRUE(Logged("Версия: 3.1.7"));
    EXPECT_TRUE(Logged(kRead));

    // Closing the window unloads the library (checked when the test ends).
    w.close();
}

TEST_F(LoaderBindingEndToEnd, CancelAfterTheFirstPercentageLeavesTheDocument)
{
    StartController();
    controller.SetTurnaround(20); // time to click between two chunks
    OpenWindow();
    const auto before = testsupport::AddressMap(Document());
    RunRead([&] {
        QAbstractButton* cancel = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            QProgressBar* bar = window->sbStatus->ProgressBar();
            cancel = window->sbStatus->findChild<QAbstractButton*>(QStringLiteral("btProgressCancel"));
            return bar && bar->value() > 0 && cancel && cancel->isVisible();
        }));
        // While it runs the window is greyed out but for its status bar, which holds one
        // cancel button.
        EXPECT_FALSE(window->tbOperations->isEnabled());
        EXPECT_FALSE(window->vtTree->isEnabled());
        EXPECT_TRUE(window->sbStatus->isEnabled());
        EXPECT_EQ(window->sbStatus->findChildren<QAbstractButton*>(QStringLiteral("btProgressCancel")).size(), 1);
        EXPECT_TRUE(cancel->isEnabled());
        cancel->click();
    });
    ExpectConfirmation();
    EXPECT_TRUE(Logged("Операция прервана"));
    EXPECT_EQ(Newest().Text, kRead + " - неудача");
    EXPECT_EQ(Newest().Kind, 1);
    EXPECT_TRUE(testsupport::AddressMap(Document()) == before) << "the document changed";
    EXPECT_FALSE(Document().IsModified());
    EXPECT_EQ(window->sbStatus->findChild<QAbstractButton*>(QStringLiteral("btProgressCancel")), nullptr);
}

// What the status bar shows at one moment of an operation.
struct StatusShot {
    std::string text;      // panel 0
    int bar = -1;          // the progress bar's position; -1: no bar
    bool cancel = false;   // the cancel button in sight and enabled
    bool versionClear = false; // the version panel overlaps neither
    bool operator==(const StatusShot&) const = default;
};

// The firmware-ID search takes a chunk of FLASH a request (1 KiB on this chip, about
// 90 ms at 115200 baud). The window shows its caption, a bar that its percentages move
// and the cancel button, clear of the version panel, before the read's own caption.
TEST_F(LoaderBindingEndToEnd, FirmwareIdSearchShowsCaptionBarAndCancel)
{
    StartController(true, 0x08000000 + 8 * 1024 + 0x100); // in the ninth chunk searched
    OpenWindow();
    const std::string search = "Поиск Firmware идентификатора в FLASH (" + kChip + ")";
    const std::string read = "Считывание параметров (" + kChip + ")";
    std::vector<StatusShot> shots;
    const auto shoot = [&] {
        StatusShot shot;
        TStatusBar* status = window->sbStatus;
        shot.text = status->PanelText(0).toStdString();
        const QProgressBar* bar = status->ProgressBar();
        const QAbstractButton* cancel = window->ProgressCancelButton();
        shot.bar = bar && bar->isVisible() ? bar->value() : -1;
        shot.cancel = cancel && cancel->isVisible() && cancel->isEnabled();
        const QRect version = status->PanelGeometry(status->PanelCount() - 1);
        shot.versionClear = status->PanelCount() >= 2 && (!bar || !bar->geometry().intersects(version)) &&
                            (!cancel || !cancel->geometry().intersects(version));
        if (shots.empty() || !(shots.back() == shot)) shots.push_back(shot);
    };
    RunRead([&] {
        // Until the read's own caption replaces the search's.
        ASSERT_TRUE(PumpUntil([&] {
            shoot();
            return shots.back().text == read;
        }));
    });
    EXPECT_EQ(Newest().Text, kRead + " - Ok");
    EXPECT_TRUE(Logged("Версия: 3.1.7"));
    EXPECT_TRUE(Logged("Поиск Firmware идентификатора..."));

    std::vector<int> positions;
    for (const StatusShot& shot : shots) {
        if (shot.text != search) continue;
        EXPECT_GE(shot.bar, 0) << "the search's caption without its bar";
        EXPECT_TRUE(shot.cancel) << "the search's caption without the cancel button";
        EXPECT_TRUE(shot.versionClear);
        if (positions.empty() || positions.back() != shot.bar) positions.push_back(shot.bar);
    }
    // 8 chunks without the marker: 2, 3, 5, 6, 8, 9, 11, 13 %.
    ASSERT_GE(positions.size(), 3u) << "the bar did not move";
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_GT(positions.back(), 0);
    EXPECT_LE(positions.back(), 13);
    for (const StatusShot& shot : shots) EXPECT_TRUE(shot.versionClear) << shot.text;
}

// A cancel during the firmware-ID search ends the read as cancelled: no parameter is
// read and the document stays as it was.
TEST_F(LoaderBindingEndToEnd, CancelDuringTheFirmwareIdSearchEndsTheRead)
{
    StartController(true, std::nullopt); // the search runs through the whole 64 KiB
    OpenWindow();
    const auto before = testsupport::AddressMap(Document());
    const std::string search = "Поиск Firmware идентификатора в FLASH (" + kChip + ")";
    size_t requestsAtCancel = 0;
    RunRead([&] {
        QAbstractButton* cancel = nullptr;
        ASSERT_TRUE(PumpUntil([&] {
            const QProgressBar* bar = window->sbStatus->ProgressBar();
            cancel = window->ProgressCancelButton();
            return window->sbStatus->PanelText(0).toStdString() == search && bar && bar->value() >= 3 && cancel &&
                   cancel->isVisible();
        }));
        requestsAtCancel = memory.Requests().size();
        cancel->click();
    });
    EXPECT_TRUE(Logged("Операция прервана"));
    EXPECT_FALSE(Logged("Cчитывание параметров..."));
    EXPECT_FALSE(Logged("Параметры считаны"));
    EXPECT_EQ(Newest().Text, kRead + " - неудача");
    EXPECT_EQ(Newest().Kind, 1);
    // The search ended at the chunk that was under way.
    EXPECT_LE(memory.Requests().size(), requestsAtCancel + 1);
    EXPECT_LT(memory.Requests().size(), 64u);
    EXPECT_TRUE(testsupport::AddressMap(Document()) == before) << "the document changed";
    EXPECT_FALSE(Document().IsModified());
    EXPECT_EQ(window->ProgressCancelButton(), nullptr);
    EXPECT_EQ(window->sbStatus->ProgressBar(), nullptr);
}

TEST_F(LoaderBindingEndToEnd, MissingBlockIsReportedAndLeavesTheDocument)
{
    StartController(false);
    OpenWindow();
    const auto before = testsupport::AddressMap(Document());
    dialogs->PushAnswer(MsgResult::OK); // the library's error box
    RunRead();
    ExpectConfirmation();
    const auto records = dialogs->Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1].kind, DialogKind::MessageBox);
    EXPECT_EQ(records[1].box.caption, "Ошибка");
    EXPECT_EQ(records[1].box.text, "Ошибка 2 при чтении MODBUS: неверный адрес данных");
    EXPECT_EQ(Newest().Text, kRead + " - неудача");
    EXPECT_EQ(Newest().Kind, 1);
    EXPECT_TRUE(testsupport::AddressMap(Document()) == before) << "the document changed";
    EXPECT_FALSE(Document().IsModified());
}

} // namespace

