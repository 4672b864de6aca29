#include "tests/support/PagesWindow.h"

#include "configurator/pages/DocumentPages.h"
#include "configurator/pages/FDevice.h"
#include "configurator/pages/FamilyDevicePage.h"
#include "configurator/tree/ModelFactory.h"
#include "model/Mirvak_const.h"
#include "model/uZumo2.h"
#include "platform/Format.h"

#include <QComboBox>

#include <string>

namespace testsupport {

void PagesWindow::SetUp()
{
    RegisterDocumentPages(registry);
    Open(900, 700, true);
    doc->RefreshTree();
}

void PagesWindow::TearDown()
{
    if (kept && doc->Document() == kept.get()) doc->ReleaseDocument();
    Close();
}

void PagesWindow::Idle() { doc->UpdateFrameControls(); }

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

void Choose(QComboBox* combo, const char* text)
{
    const int index = combo->findText(QString::fromUtf8(text));
    ASSERT_GE(index, 0) << text;
    combo->setCurrentIndex(index);
}

TField* FieldOf(const TFieldLst& list, const char* key)
{
    auto* field = dynamic_cast<TField*>(list.FindField(key));
    EXPECT_NE(field, nullptr) << key;
    return field;
}

int32_t ValueOf(const TFieldLst& list, const char* key)
{
    TField* field = FieldOf(list, key);
    return field ? field->GetValue().ToInt32() : -1;
}

std::vector<int> AreaBytes(const TDevice& device, int first, int count)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(count));
    device.ReadBytes(device.ProtocolAreaOffset() + first, bytes.data(), bytes.size());
    return {bytes.begin(), bytes.end()};
}

std::vector<TAuditControl> IecTimeoutAudit()
{
    return {
        {"gbTimeouts", "QGroupBox", nullptr, "Таймауты"},
        {"ed090", "TSpinEdit", "090", "T0", {}, "с"},
        {"ed091", "TSpinEdit", "091", "T1", {}, "с"},
        {"ed092", "TSpinEdit", "092", "T2", {}, "с"},
        {"ed093", "TSpinEdit", "093", "T3", {}, "с"},
        {"gbWindow", "QGroupBox", nullptr, "Размеры окна"},
        {"ed094", "TSpinEdit", "094", "К"},
        {"ed095", "TSpinEdit", "095", "W"},
    };
}

std::vector<TAuditControl> IecPointAudit()
{
    std::vector<TAuditControl> controls = {
        {"ed0104", "TSpinEdit", "0104", "Таймаут операции ТУ", {}, "с"},
        {"ed0107", "TSpinEdit", "0107", "Цикл опроса", {}, "мс"},
        {"ed0108", "TSpinEdit", "0108", "Период полного опроса", {}, "с"},
        {"gbGroupPoll", "QGroupBox", nullptr, "Групповой опрос, с "},
        {"ch0102", "QCheckBox", "0102", "Установка времени"},
        {"ch0103", "QCheckBox", "0103", "Ретрансляция полного/группового опроса"},
        {"ch0105", "QCheckBox", "0105", "Двухступенчатая команда ТУ"},
    };
    // The entries point to these texts: name, key and caption of each period.
    static const std::vector<std::string> polls = [] {
        std::vector<std::string> made;
        for (int n = 1; n <= 16; ++n) {
            made.push_back(platform::Format("ed%.4d", 108 + n));
            made.push_back(platform::Format("%.4d", 108 + n));
            made.push_back(std::to_string(n));
        }
        return made;
    }();
    for (size_t i = 0; i < polls.size(); i += 3)
        controls.push_back({polls[i].c_str(), "TSpinEdit", polls[i + 1].c_str(), polls[i + 2].c_str()});
    return controls;
}

} // namespace testsupport
