#include "loader/dialogs/CmdDlg.h"

#include "common/StrRoutines.h"
#include "platform/AtomicFile.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

const char* const kScriptNewNameFormat = "Script_%d";
const char* const kScriptNewText = "sleep 1000\r\nrestart 1";
const char* const kScriptHelpText =
    "Каждая команда на новой строке, параметры отделяются пробелами.\n"
    "transmit <адрес> <таймаут> <код_скорости>\n"
    "    открыть сквозной канал на устройство Vintaro с указанным адресом на скорости\n"
    "    с указанным кодом; канал закрывается, когда пауза между пакетами превысит\n"
    "    таймаут (мс). Код скорости = частота кварца / (8 x скорость) - 1;\n"
    "    для кварца 11,0592 МГц: 11 - 115200, 23 - 57600, 143 - 9600, 71 - 19200,\n"
    "    35 - 38400. Пример: transmit 1 1000 11\n"
    "restart <адрес>\n"
    "    перезапуск устройства с указанным адресом\n"
    "restart2 <адрес>\n"
    "    команда перезапуска устройства Dravo3 или Kestrun4 с указанным адресом\n"
    "sleep <время>\n"
    "    пауза в миллисекундах\n"
    "send <посылка>\n"
    "    передать посылку, заданную в шестнадцатеричном виде, например: send 55AA\n"
    "recv <посылка>\n"
    "    принять посылку, заданную в шестнадцатеричном виде, например: recv BB\n"
    "send_str <сообщение ASCII>\n"
    "    передать текст ASCII\n"
    "fixed\n"
    "    активировать сохранение переданных данных\n"
    "[after]\n"
    "    все следующие команды выполняются после основной операции\n"
    "endpause xxx\n"
    "    пауза после окончания операции перед закрытием порта";

const char* const kScriptNameUnsafeText = "Недопустимые символы в имени скрипта";
const char* const kScriptNameDuplicateText = "Скрипт с таким именем уже существует";
const char* const kScriptNameEmptyText = "Не задано имя скрипта";
const char* const kScriptFolderErrorText = "Не удалось создать папку для скриптов\n";

namespace {

std::string ReadWhole(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) throw platform::EFOpenError(platform::CannotOpenFileText(file, errno));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool SameIgnoringCase(const std::string& a, const std::string& b) { return AnsiLowerCase(a) == AnsiLowerCase(b); }

// Whether every character of the UTF-8 text has a Windows-1251 byte.
bool FitsAnsi(const std::string& text)
{
    for (size_t pos = 0; pos < text.size();)
        if (platform::CharToByte(platform::DecodeUtf8(text, pos), platform::CodePage::Ansi) < 0) return false;
    return true;
}

// The text cut to at most count characters.
std::string CutCharacters(const std::string& text, int count)
{
    size_t pos = 0;
    for (int i = 0; i < count && pos < text.size(); ++i) platform::DecodeUtf8(text, pos);
    return text.substr(0, pos);
}

} // namespace

std::vector<std::string> ListScriptNames(const TScriptPlace& place)
{
    const std::string suffix = ".tmp" + place.Pid;
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(place.Folder, ec)) {
        const std::string file = entry.path().filename().string();
        if (!entry.is_regular_file(ec) || file.size() <= suffix.size() ||
            file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        names.push_back(RemoveExtension(file));
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const std::string la = AnsiLowerCase(a), lb = AnsiLowerCase(b);
        return la != lb ? la < lb : a < b;
    });
    return names;
}

TScriptDialogModel::TScriptDialogModel(TScriptPlace place) : place_(std::move(place)) {}

void TScriptDialogModel::Load()
{
    std::error_code ec;
    fs::create_directories(place_.Folder, ec);
    if (!fs::is_directory(place_.Folder, ec))
        throw platform::Exception(kScriptFolderErrorText + place_.Folder.string());
    entries_.clear();
    removed_.clear();
    for (const std::string& name : ListScriptNames(place_)) {
        Entry entry;
        entry.Name = entry.LoadedName = name;
        entry.Text = entry.LoadedText = platform::AnsiToUtf8(ReadWhole(WorkingCopy(name)));
        entries_.push_back(std::move(entry));
    }
    current_ = -1;
    Fill();
}

void TScriptDialogModel::SelectByName(const std::string& name)
{
    current_ = entries_.empty() ? -1 : 0;
    for (int i = 0; i < Count(); ++i)
        if (entries_[i].Name == name) current_ = i;
    Fill();
}

const std::string& TScriptDialogModel::ItemName(int index) const { return entries_.at(index).Name; }

std::string TScriptDialogModel::CurrentName() const { return current_ >= 0 ? entries_[current_].Name : std::string(); }

void TScriptDialogModel::SetNameText(const std::string& text)
{
    if (current_ < 0) return;
    nameText_ = CutCharacters(text, kScriptNameMaxLength);
    modified_ = true;
}

void TScriptDialogModel::SetScriptText(const std::string& text)
{
    if (current_ < 0) return;
    scriptText_ = text;
    modified_ = true;
}

void TScriptDialogModel::Fill()
{
    if (current_ >= 0) {
        nameText_ = entries_[current_].Name;
        scriptText_ = entries_[current_].Text;
    } else {
        nameText_.clear();
        scriptText_.clear();
    }
    modified_ = false;
}

bool TScriptDialogModel::Refuse(const char* text) const
{
    platform::ShowMessageBox(place_.Owner, text, "Ошибка", platform::MsgIcon::Error, platform::MsgButtons::OK);
    return false;
}

bool TScriptDialogModel::NameTaken(const std::string& name, int except) const
{
    for (int i = 0; i < Count(); ++i)
        if (i != except && SameIgnoringCase(entries_[i].Name, name)) return true;
    return false;
}

bool TScriptDialogModel::Commit()
{
    if (!modified_ || entries_.empty() || current_ < 0) return true;
    if (nameText_.empty()) return Refuse(kScriptNameEmptyText);
    if (SafeFileName(nameText_) != nameText_ || !FitsAnsi(nameText_)) return Refuse(kScriptNameUnsafeText);
    if (NameTaken(nameText_, current_)) return Refuse(kScriptNameDuplicateText);
    entries_[current_].Name = nameText_;
    entries_[current_].Text = scriptText_;
    Fill();
    return true;
}

bool TScriptDialogModel::Select(int index)
{
    if (index == current_) return true;
    if (!Commit()) return false;
    current_ = index >= 0 && index < Count() ? index : -1;
    Fill();
    return true;
}

bool TScriptDialogModel::Add()
{
    if (!Commit()) return false;
    int n = Count();
    std::string name;
    do name = platform::Format(kScriptNewNameFormat, ++n);
    while (NameTaken(name, -1));
    Entry entry;
    entry.Name = name;
    entry.Text = kScriptNewText;
    entry.Added = true;
    entries_.push_back(std::move(entry));
    current_ = Count() - 1;
    Fill();
    return true;
}

void TScriptDialogModel::Remove()
{
    if (current_ < 0) return;
    if (!entries_[current_].Added) removed_.push_back(entries_[current_].LoadedName);
    entries_.erase(entries_.begin() + current_);
    current_ = -1;
    Fill();
}

bool TScriptDialogModel::Accept() { return Commit(); }

fs::path TScriptDialogModel::WorkingCopy(const std::string& name) const
{
    return place_.Folder / (name + ".tmp" + place_.Pid);
}

bool TScriptDialogModel::Save()
{
    if (!Accept()) return false;
    // Old copies go first: a new name may be the old name of another script.
    std::vector<std::string> obsolete = removed_;
    for (const Entry& entry : entries_)
        if (!entry.Added && entry.Name != entry.LoadedName) obsolete.push_back(entry.LoadedName);
    bool changed = false;
    std::error_code ec;
    for (const std::string& name : obsolete) changed |= fs::remove(WorkingCopy(name), ec);
    for (Entry& entry : entries_) {
        if (!entry.Added && entry.Name == entry.LoadedName && entry.Text == entry.LoadedText) continue;
        platform::WriteFileAtomically(WorkingCopy(entry.Name), platform::Utf8ToAnsi(entry.Text));
        entry.LoadedName = entry.Name;
        entry.LoadedText = entry.Text;
        entry.Added = false;
        changed = true;
    }
    removed_.clear();
    if (changed && place_.MarkSessionChanged) place_.MarkSessionChanged();
    return true;
}
