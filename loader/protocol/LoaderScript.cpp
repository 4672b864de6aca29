#include "loader/protocol/LoaderScript.h"

#include "loader/core/Chips.h"
#include "loader/io/IOSerial.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "loader/protocol/LoaderTransfer.h"
#include "loader/io/Modbus.h"
#include "common/StrRoutines.h"
#include "platform/CodePages.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"
#include "platform/Tick.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace {

constexpr uint32_t kReplyTotalMs = 3000;
constexpr uint32_t kReplySilenceMs = 500;
constexpr uint32_t kReplyPollMs = 10;
constexpr int32_t kSleepDefaultMs = 100;
constexpr int32_t kTransmitRegister = 258;

std::string Trim(const std::string& s)
{
    size_t begin = 0, end = s.size();
    while (begin < end && static_cast<uint8_t>(s[begin]) <= ' ') ++begin;
    while (end > begin && static_cast<uint8_t>(s[end - 1]) <= ' ') --end;
    return s.substr(begin, end - begin);
}

bool IsMarker(const std::string& trimmed)
{
    const std::string lower = AnsiLowerCase(trimmed);
    return lower == "[after]" || lower == "[after write]";
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The lines of a file as written, in UTF-8.
std::vector<std::string> ReadScriptLines(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return ScriptTextLines(bytes.str());
}

void RequireData(size_t count)
{
    if (count > kScriptDataLimit) throw ESarnupolex(kScriptTooLong);
}

uint8_t High(int32_t v) { return static_cast<uint8_t>((v >> 8) & 0xFF); }
uint8_t Low(int32_t v) { return static_cast<uint8_t>(v & 0xFF); }

// The texts one MODBUS write command reports.
struct TWriteTexts {
    const char* noAnswer;
    const char* badLength; // with the count
};

const TWriteTexts kTransmitTexts = {"Нет ответа при попытке включения транзитного канала",
                                    "Неверный ответ при попытке включения транзитного канала (длина %d байт)"};
const TWriteTexts kRestartTexts = {"Нет ответа при попытке рестарта",
                                   "Неверный ответ при попытке рестарта (длина %d байт)"};

// One command line on the core's connection.
class TScriptCommands {
public:
    TScriptCommands(TLoaderCore& core, TBlockTransfer& transfer, TScriptPhase phase, bool activation)
        : connection_(core.Connection()), transfer_(transfer), phase_(phase), activation_(activation)
    {
    }

    void Run(const std::vector<std::string>& tokens)
    {
        if (tokens.empty()) return;
        tokens_ = &tokens;
        const std::string command = AnsiLowerCase(tokens[0]);
        using Method = void (TScriptCommands::*)();
        static const std::pair<const char*, Method> kCommands[] = {
            {"transmit", &TScriptCommands::Transmit}, {"restart", &TScriptCommands::Restart},
            {"restart2", &TScriptCommands::Restart2}, {"echo", &TScriptCommands::Echo},
            {"sleep", &TScriptCommands::SleepCommand}, {"send", &TScriptCommands::Send},
            {"send_str", &TScriptCommands::SendStr},   {"recv", &TScriptCommands::Recv},
            {"fixed", &TScriptCommands::Fixed},
        };
        for (const auto& [name, method] : kCommands)
            if (command == name) return (this->*method)();
        // endpause and any other word: nothing here.
    }

private:
    const std::string& Arg(size_t index) const
    {
        if (index >= tokens_->size())
            throw platform::EListError(platform::Format("List index out of bounds (%d)", static_cast<int>(index)));
        return (*tokens_)[index];
    }
    int32_t IntArg(size_t index) const { return StrictInt(Arg(index)); }
    bool NoWait() const { return tokens_->size() > 2 && AnsiLowerCase((*tokens_)[2]) == "nowait"; }

    void Write(const std::vector<uint8_t>& bytes)
    {
        connection_.DeviceWrite(bytes.data(), static_cast<int32_t>(bytes.size()));
    }

    // Up to count bytes: each read asks for the bytes missing; ends 3000 ms after start,
    // or 500 ms after the last byte once one has come.
    std::vector<uint8_t> WaitReply(size_t count, uint64_t start)
    {
        std::vector<uint8_t> reply(count);
        size_t got = 0;
        uint64_t lastByte = 0;
        while (got < count) {
            const int32_t n = connection_.DeviceRead(reply.data() + got, static_cast<int32_t>(count - got));
            const uint64_t now = platform::GetTickCount();
            if (n > 0) {
                got += std::min(static_cast<size_t>(n), count - got);
                lastByte = now;
            }
            if (got >= count || now - start >= kReplyTotalMs || (got > 0 && now - lastByte >= kReplySilenceMs)) break;
            platform::Sleep(kReplyPollMs);
        }
        reply.resize(got);
        return reply;
    }

    // The 8-byte answer of a MODBUS write: its CRC, then its first six bytes.
    static void CheckWriteEcho(const std::vector<uint8_t>& reply, const std::vector<uint8_t>& request)
    {
        const uint16_t crc = ModbusCrc16(reply.data(), 6);
        if (reply[6] != static_cast<uint8_t>(crc >> 8) || reply[7] != static_cast<uint8_t>(crc & 0xFF))
            throw ESarnupolex("Ошибка CRC MODBUS");
        if (!std::equal(reply.begin(), reply.begin() + 6, request.begin())) throw ESarnupolex("Ошибка при записи MODBUS");
    }

    // Sends a function 16 request and checks its answer.
    void WriteRegisters(const std::vector<uint8_t>& request, const TWriteTexts& texts)
    {
        connection_.SendRequest(request.data(), static_cast<int32_t>(request.size()));
        const std::vector<uint8_t> reply = WaitReply(8, platform::GetTickCount());
        switch (reply.size()) {
        case 0: throw ESarnupolex(texts.noAnswer);
        case 3:
            if (reply[0] == request[0] && reply[1] == 0x90)
                throw ESarnupolex(platform::Format("Ошибка %d при записи MODBUS", reply[2]));
            return;
        case 8: CheckWriteEcho(reply, request); return;
        default: throw ESarnupolex(platform::Format(texts.badLength, static_cast<int>(reply.size())));
        }
    }

    void Transmit()
    {
        const uint8_t address = Low(IntArg(1));
        const int32_t reg = tokens_->size() > 2 ? IntArg(2) : kTransmitRegister;
        const int32_t value = tokens_->size() > 3 ? IntArg(3) : 0;
        int32_t value2 = 0;
        const bool four = tokens_->size() > 4;
        if (four) value2 = IntArg(4);
        WriteRegisters(TransmitRequest(address, reg, value, four ? &value2 : nullptr), kTransmitTexts);
    }

    void Restart2()
    {
        const std::vector<uint8_t> request = Restart2Request(Low(IntArg(1)));
        if (NoWait()) {
            connection_.SendRequest(request.data(), static_cast<int32_t>(request.size()));
            return;
        }
        WriteRegisters(request, kRestartTexts);
    }

    void Restart()
    {
        const std::vector<uint8_t> request = RestartRequest(Low(IntArg(1)));
        connection_.SendRequest(request.data(), static_cast<int32_t>(request.size()));
        if (NoWait()) return;
        const uint8_t address = request[0];
        std::vector<uint8_t> reply(8);
        int32_t got = 0;
        const uint64_t start = platform::GetTickCount();
        while (platform::GetTickCount() - start < kReplyTotalMs) {
            // The first byte alone, so that a stray byte in front is seen by itself.
            const int32_t n = connection_.DeviceRead(reply.data() + got, got == 0 ? 1 : 8 - got);
            if (n > 0) got += n;
            if (got == 1 && reply[0] != address) got = 0;
            if (got == 3 && reply[0] == address && reply[1] == 0x88)
                throw ESarnupolex(platform::Format("Ошибка %d при записи MODBUS", reply[2]));
            if (got == 8) {
                CheckWriteEcho(reply, request);
                return;
            }
            platform::Sleep(kReplyPollMs);
        }
        if (got == 0) throw ESarnupolex(kRestartTexts.noAnswer);
        throw ESarnupolex(platform::Format(kRestartTexts.badLength, got));
    }

    void Echo() { connection_.SetEcho(true); }

    void SleepCommand()
    {
        if (tokens_->size() < 2) return;
        int32_t ms = kSleepDefaultMs;
        try {
            ms = StrictInt((*tokens_)[1]);
        } catch (const platform::EConvertError&) {
        }
        const uint64_t start = platform::GetTickCount();
        uint8_t byte = 0;
        while (ms > 0 && platform::GetTickCount() - start < static_cast<uint64_t>(ms)) {
            connection_.DeviceRead(&byte, 1);
            platform::Sleep(1);
        }
    }

    void Send() { Write(ScriptHexBytes(Arg(1))); }

    void SendStr()
    {
        std::string text;
        for (size_t i = 1; i < tokens_->size(); ++i) text += (i > 1 ? " " : "") + (*tokens_)[i];
        Write(ScriptTextBytes(text));
    }

    void Recv()
    {
        const std::vector<uint8_t> expected = ScriptHexBytes(Arg(1));
        const std::vector<uint8_t> reply = WaitReply(expected.size(), platform::GetTickCount());
        if (reply.empty()) throw ESarnupolex("Нет ответа от устройства");
        if (reply.size() != expected.size()) throw ESarnupolex("Неверный ответ от устройства");
        if (reply != expected) throw ESarnupolex("Ошибочный ответ устройства");
    }

    void Fixed()
    {
        if (phase_ == TScriptPhase::Final && activation_) transfer_.ActivateFlashSave();
    }

    TLoaderConnection& connection_;
    TBlockTransfer& transfer_;
    TScriptPhase phase_;
    bool activation_;
    const std::vector<std::string>* tokens_ = nullptr;
};

// Logs the Leave line of MakeScript on every way out.
struct TLeaveLog {
    TWatch& watch;
    ~TLeaveLog() { watch.Leave("MakeScript"); }
};

} // namespace

const char* const kScriptTooLong = "Слишком длинная посылка в скрипте (максимум 301 байт)";

std::vector<std::string> ScriptTextLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find_first_of("\r\n", at);
        lines.push_back(platform::AnsiToUtf8(text.substr(at, end == std::string::npos ? std::string::npos : end - at)));
        if (end == std::string::npos) break;
        at = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    return lines;
}

std::vector<TScriptLine> ScriptPhaseLines(const std::vector<std::string>& lines, TScriptPhase phase)
{
    std::vector<TScriptLine> result;
    TScriptPhase section = TScriptPhase::Preliminary;
    for (const std::string& line : lines) {
        const std::string trimmed = Trim(line);
        if (IsMarker(trimmed)) {
            section = TScriptPhase::Final;
            continue;
        }
        if (section == phase) result.push_back({trimmed, line});
    }
    return result;
}

std::vector<int32_t> ScriptEndPauses(const std::vector<std::string>& lines)
{
    static const std::string kWord = "endpause";
    std::vector<int32_t> pauses;
    for (const std::string& line : lines) {
        const size_t at = line.find(kWord);
        if (at == std::string::npos) continue;
        const size_t from = at + kWord.size() + 1;
        int32_t ms = 0;
        try {
            ms = StrictInt(from < line.size() ? line.substr(from) : std::string());
        } catch (const platform::EConvertError&) {
        }
        pauses.push_back(ms);
    }
    return pauses;
}

std::vector<uint8_t> ScriptHexBytes(const std::string& hex)
{
    if (std::any_of(hex.begin(), hex.end(), [](char c) { return HexDigit(c) < 0; }))
        throw platform::EConvertError(platform::Format("'%s' is not a valid integer value", hex.c_str()));
    RequireData(hex.size() / 2);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(HexDigit(hex[i]) << 4 | HexDigit(hex[i + 1])));
    return bytes;
}

std::vector<uint8_t> ScriptTextBytes(const std::string& text)
{
    const std::string ansi = platform::Utf8ToAnsi(text);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < ansi.size();) {
        if (ansi[i] != '#') {
            bytes.push_back(static_cast<uint8_t>(ansi[i++]));
            continue;
        }
        size_t end = ++i;
        while (end < ansi.size() && ansi[end] >= '0' && ansi[end] <= '9') ++end;
        bytes.push_back(Low(StrictInt(ansi.substr(i, end - i))));
        i = end;
    }
    RequireData(bytes.size());
    return bytes;
}

std::vector<uint8_t> TransmitRequest(uint8_t address, int32_t reg, int32_t value, const int32_t* value2)
{
    if (!value2) return {address, 0x10, 0x03, 0xF2, 0x00, 0x02, 0x04, High(reg), Low(reg), High(value), Low(value)};
    return {address, 0x10, 0x03, 0xF2, 0x00, 0x04, 0x08, High(reg), Low(reg),
            static_cast<uint8_t>(static_cast<uint32_t>(value) >> 24), static_cast<uint8_t>(static_cast<uint32_t>(value) >> 16),
            High(value), Low(value), High(*value2), Low(*value2)};
}

std::vector<uint8_t> Restart2Request(uint8_t address) { return {address, 0x10, 0x03, 0xE9, 0x00, 0x01, 0x02, 0x00, 0x01}; }

std::vector<uint8_t> RestartRequest(uint8_t address) { return {address, 0x08, 0x00, 0x01, 0x00, 0x00}; }

std::filesystem::path ScriptWorkingFile(const TLoaderCore& core, const std::string& name)
{
    return TSessionFileNameHolder::WorkingName(core.ScriptsFolder() / (name + ".txt"));
}

void MakeScript(TLoaderCore& core, TBlockTransfer& transfer, const std::string& name, int32_t speed,
                TScriptPhase phase, bool activation)
{
    TWatch& watch = core.Watch();
    watch.Enter("MakeScript");
    TLeaveLog leave{watch};
    TLoaderConnection& connection = core.Connection();
    if (phase == TScriptPhase::Preliminary) connection.SetEcho(false);
    const TChip* chip = core.Chips().Current();
    if (activation && phase == TScriptPhase::Final && chip && chip->FixedWrite) transfer.ActivateFlashSave();
    if (name.empty()) return;

    const std::string prefix = platform::Format(
        "Выполнение %s скрипта \"%s\", команда: ",
        phase == TScriptPhase::Preliminary ? "предварительного" : "завершающего", name.c_str());
    const std::filesystem::path file = ScriptWorkingFile(core, name);
    watch.Log(wlInfo, "ScriptName:" + file.string());
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        throw ESarnupolex(platform::Format("Файл скрипта %s не существует", file.string().c_str()));

    int32_t workingSpeed = 0;
    if (phase == TScriptPhase::Preliminary) {
        if (const TIOSerial* serial = connection.Serial()) workingSpeed = static_cast<int32_t>(serial->GetBaudRate());
        connection.SwitchSerialSpeed(speed, "Не удалось открыть COM-порт для передачи скрипта");
    }

    TScriptCommands commands(core, transfer, phase, activation);
    for (const TScriptLine& line : ScriptPhaseLines(ReadScriptLines(file), phase)) {
        core.AppendLogLine(line.Trimmed);
        core.PostLogLine(prefix + line.Trimmed);
        try {
            commands.Run(SplitString(' ', line.Trimmed));
        } catch (const std::exception& e) {
            core.AppendLogLine(line.Raw + " " + e.what());
            throw;
        }
        core.AppendLogLine(line.Raw + " ok");
    }
    core.PostLogLine(platform::Format("Cкрипт \"%s\" выполнен", name.c_str()));

    if (phase == TScriptPhase::Preliminary)
        connection.SwitchSerialSpeed(workingSpeed, "Не удалось открыть COM-порт для работы после передачи скрипта");
}

void RunEndPause(TLoaderCore& core, const std::string& name)
{
    if (name.empty() || !core.Connection().Device()) return;
    const std::filesystem::path file = ScriptWorkingFile(core, name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) return;
    for (const int32_t ms : ScriptEndPauses(ReadScriptLines(file))) {
        core.PostLogLine(platform::Format("Выполнение паузы окончания операции, %d мс: ", ms));
        if (ms > 0) platform::Sleep(static_cast<uint32_t>(ms));
    }
}
