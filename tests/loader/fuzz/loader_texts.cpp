// The texts the loader reads, the first byte choosing which (mod 4); the rest is the text:
// 0. a device-list line through ParseConnectionSettings: every setting is what its key
//    holds (a decimal 32-bit number, else the default), and a line written back from
//    the settings with SetParam reads as the same settings;
// 1. a script (lines ended by CR LF, LF or CR): the two phases hold every line but the
//    markers, in order, each trimmed and as written; one end pause per line with
//    "endpause"; each token as hex data gives its digit pairs or the conversion or
//    length error; a line as send_str text gives its Windows-1251 bytes and "#<n>"
//    bytes, and those bytes written as "#<n>" give the same bytes back;
// 2. "Chip.ini" through the chip table: the table keeps at least the built-in rows, and
//    the file it writes back reads as the same table and is written back unchanged;
// 3. an ini file through IniText, MemIniFile and IniFile: the text written gives the
//    same sections, keys and values, and so does every value read written into a new
//    file through MemIniFile and read back (IniFile finding the same sections there).

#include "common/StrRoutines.h"
#include "loader/core/Chips.h"
#include "loader/core/LoaderConnection.h"
#include "loader/protocol/LoaderScript.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/IniFile.h"
#include "tests/loader/fuzz/FuzzCore.h"
#include "tests/model/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

using fuzzcheck::Require;
namespace fs = std::filesystem;

namespace {

const fs::path& Folder()
{
    static const fs::path folder = [] {
        fuzzinput::FuzzCore(); // makes the process's temporary folder
        const fs::path made = fs::path(std::getenv(platform::kProgramDirVariable)) / "texts";
        fs::create_directories(made);
        return made;
    }();
    return folder;
}

void WriteBytes(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ----- device-list lines

// A decimal 32-bit number after optional white space and sign, else def.
int32_t Expected(const std::string& line, const char* key, int32_t def)
{
    const std::string text = GetParam(line, key);
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return def;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return def;
        value = value * 10 + (text[i] - '0');
        if (value > (int64_t{1} << 31)) return def;
    }
    value = negative ? -value : value;
    return value >= INT32_MIN && value <= INT32_MAX ? static_cast<int32_t>(value) : def;
}

void ConnectionLine(const std::string& line)
{
    const TConnectionSettings s = ParseConnectionSettings(line);
    Require(s.ChipIndex == Expected(line, "ControllerType", -1), "ControllerType");
    Require(s.RetryCount == Expected(line, "RetryCount", 3), "RetryCount");
    Require(s.HandshakePeriod == Expected(line, "HandshakePeriod", 500), "HandshakePeriod");
    Require(s.BaudRate == Expected(line, "SerialBaudRate", 57600), "SerialBaudRate");
    Require(s.ComNumber == Expected(line, "SerialComNumber", 0), "SerialComNumber");
    Require(s.ScriptSpeed == Expected(line, "SpeedScript", s.BaudRate), "SpeedScript");
    Require(s.Handshake == (Expected(line, "Handshake", 1) > 0), "Handshake");
    Require(s.UDP == (Expected(line, "UDP", 0) > 0), "UDP");
    Require(s.Host == GetParam(line, "TCPIP") && s.PortText == GetParam(line, "TCPPort"), "the network texts");

    std::string back;
    const auto set = [&](const char* key, const std::string& value) { back = SetParam(back, key, value, true); };
    set("ioType", s.Serial ? "iotSerial" : "iotTCP");
    set("ControllerType", std::to_string(s.ChipIndex));
    set("ScriptFile", s.ScriptName);
    set("Handshake", s.Handshake ? "1" : "0");
    set("HandshakePeriod", std::to_string(s.HandshakePeriod));
    set("RetryCount", std::to_string(s.RetryCount));
    set("UDP", s.UDP ? "1" : "0");
    set("TFTP", s.TFTP ? "1" : "0");
    set("SerialComNumber", std::to_string(s.ComNumber));
    set("SerialBaudRate", std::to_string(s.BaudRate));
    set("SerialByteSize", std::to_string(s.ByteSize));
    set("SerialParity", std::to_string(s.Parity));
    set("SerialStopBits", std::to_string(s.StopBits));
    set("SpeedScript", std::to_string(s.ScriptSpeed));
    set("TCPIP", s.Host);
    set("TCPPort", s.PortText);
    Require(ParseConnectionSettings(back) == s, "the line written back reads otherwise");
}

// ----- scripts

std::string Trimmed(const std::string& s)
{
    size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::vector<std::string> Tokens(const std::string& line)
{
    std::vector<std::string> tokens;
    size_t at = 0;
    while (at < line.size()) {
        while (at < line.size() && static_cast<uint8_t>(line[at]) <= ' ') ++at;
        size_t end = at;
        while (end < line.size() && static_cast<uint8_t>(line[end]) > ' ') ++end;
        if (end > at) tokens.push_back(line.substr(at, end - at));
        at = end;
    }
    return tokens;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

void HexData(const std::string& token)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = ScriptHexBytes(token);
    } catch (const platform::EConvertError& e) {
        Require(e.what() == "'" + token + "' is not a valid integer value", "the conversion error's text");
        Require(!std::all_of(token.begin(), token.end(), IsHex), "hex digits refused");
        return;
    } catch (const platform::Exception& e) {
        Require(std::strcmp(e.what(), kScriptTooLong) == 0 && token.size() / 2 > kScriptDataLimit, "too long");
        return;
    }
    Require(std::all_of(token.begin(), token.end(), IsHex) && bytes.size() == token.size() / 2, "hex pairs");
    for (size_t i = 0; i < bytes.size(); ++i)
        Require(bytes[i] == std::stoi(token.substr(2 * i, 2), nullptr, 16), "a hex pair's byte");
}

void TextData(const std::string& text)
{
    std::vector<uint8_t> bytes;
    try {
        bytes = ScriptTextBytes(text);
    } catch (const platform::Exception&) {
        Require(text.find('#') != std::string::npos ||
                    platform::Utf8ToAnsi(text).size() > kScriptDataLimit,
                "a text without # refused");
        return;
    }
    Require(bytes.size() <= kScriptDataLimit, "more bytes than a send carries");
    if (text.find('#') == std::string::npos) {
        const std::string ansi = platform::Utf8ToAnsi(text);
        Require(std::string(bytes.begin(), bytes.end()) == ansi, "a text's Windows-1251 bytes");
    }
    std::string numbered;
    for (uint8_t b : bytes) numbered += "#" + std::to_string(b);
    Require(ScriptTextBytes(numbered) == bytes, "bytes written as #<n> read otherwise");
}

void Script(const std::string& text)
{
    const std::vector<std::string> lines = ScriptTextLines(text);
    const auto first = ScriptPhaseLines(lines, TScriptPhase::Preliminary);
    const auto last = ScriptPhaseLines(lines, TScriptPhase::Final);
    size_t p = 0, f = 0;
    bool after = false;
    size_t pauses = 0;
    for (const std::string& line : lines) {
        pauses += line.find("endpause") != std::string::npos ? 1 : 0;
        const std::string trimmed = Trimmed(line);
        const std::string lower = AnsiLowerCase(trimmed);
        if (lower == "[after]" || lower == "[after write]") {
            after = true;
            continue;
        }
        const auto& phase = after ? last : first;
        size_t& at = after ? f : p;
        Require(at < phase.size() && phase[at].Raw == line && phase[at].Trimmed == trimmed, "a line of a phase");
        ++at;
        const auto tokens = Tokens(trimmed);
        for (const std::string& token : tokens) HexData(token);
        TextData(trimmed);
    }
    Require(p == first.size() && f == last.size(), "lines in a phase that the script has not");
    Require(ScriptEndPauses(lines).size() == pauses, "end pauses");
}

// ----- Chip.ini

std::vector<std::string> TableOf(const TChips& chips)
{
    std::vector<std::string> rows;
    for (int i = 0; i < chips.Count(); ++i) {
        const TChip& c = chips.Items(i);
        rows.push_back(c.Name + "|" + std::to_string(c.ByteID) + "|" + std::to_string(c.Sector) + "|" +
                       std::to_string(c.SizeFlash) + "|" + std::to_string(c.SizeEPP) + "|" +
                       std::to_string(c.FixedWrite) + "|" + std::to_string(c.FlashTimeOut) + "|" +
                       std::to_string(c.FixedWriteTimeOut) + "|" + std::to_string(c.ReadTimeOut) + "|" +
                       std::to_string(c.EEPTimeOut) + "|" + std::to_string(c.LinearAddr) + "|" +
                       std::to_string(c.FindFirmwareID) + "|" + std::to_string(c.FlashStartAddress));
    }
    return rows;
}

void ChipIni(const std::string& text)
{
    const fs::path file = Folder() / "Chip.ini";
    WriteBytes(file, text);
    TChips chips;
    chips.Load(file);
    Require(chips.Count() >= kBuiltInChipCount, "built-in rows lost");
    const auto table = TableOf(chips);
    const std::string written = ReadBytes(file);
    TChips again;
    again.Load(file);
    Require(TableOf(again) == table, "the file written back reads as another table");
    Require(ReadBytes(file) == written, "the file written back changed when read again");
}

// ----- ini files

using Values = std::map<std::string, std::map<std::string, std::string>>;

Values ValuesOf(platform::CustomIniFile& ini)
{
    Values values;
    for (const std::string& section : ini.ReadSections())
        for (const std::string& key : ini.ReadSection(section))
            values[section][key] = ini.ReadString(section, key, "\x01missing");
    return values;
}

Values ValuesOf(const platform::IniText& ini)
{
    Values values;
    for (const std::string& section : ini.Sections())
        for (const std::string& key : ini.Keys(section)) {
            std::string value = "\x01missing";
            ini.Find(section, key, value);
            values[section][key] = value;
        }
    return values;
}

void Ini(const std::string& text)
{
    platform::IniText parsed;
    parsed.LoadBytes(text);
    const Values values = ValuesOf(parsed);
    platform::IniText again;
    again.LoadBytes(parsed.SaveBytes());
    Require(ValuesOf(again) == values, "the text written back reads otherwise");

    const fs::path file = Folder() / "read.ini";
    const fs::path copy = Folder() / "written.ini";
    WriteBytes(file, text);
    std::error_code ignored;
    fs::remove(copy, ignored);
    platform::MemIniFile read(file);
    const Values fromFile = ValuesOf(read);
    Require(fromFile == values, "MemIniFile reads otherwise than the text");
    {
        platform::MemIniFile written(copy);
        for (const auto& [section, keys] : fromFile)
            for (const auto& [key, value] : keys) written.WriteString(section, key, value);
        written.UpdateFile();
    }
    // Read back once: IniFile reads its file again for every value.
    platform::MemIniFile back(copy);
    Require(ValuesOf(back) == fromFile, "what was read, written and read back differs");
    platform::IniFile live(copy);
    Require(live.ReadSections() == back.ReadSections(), "IniFile reads other sections");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) return 0;
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 4) {
    case 0: ConnectionLine(text); break;
    case 1: Script(text); break;
    case 2: ChipIni(text); break;
    case 3: Ini(text); break;
    }
    return 0;
}
