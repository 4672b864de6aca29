#pragma once
// Device scripts: text files "Scripts/<name>.txt" (Windows-1251) whose lines are loader
// commands, run on the working copy "Scripts/<name>.tmp<pid>". The lines up to the first
// "[after]" or "[after write]" form the preliminary section, run after the connection
// opens and before the handshake; the rest form the final section, run after the
// transfer. "endpause" lines are waited for when the operation closes the connection.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class TLoaderCore;
class TBlockTransfer;

enum class TScriptPhase { Preliminary, Final };

// Most bytes one send, send_str or recv carries.
inline constexpr size_t kScriptDataLimit = 301;

// One line of a section: trimmed (blanks and control characters at both ends) and as
// written.
struct TScriptLine {
    std::string Trimmed;
    std::string Raw;
    bool operator==(const TScriptLine&) const = default;
};

// The lines of a script file's Windows-1251 bytes, in UTF-8: CR LF, LF or CR end a
// line; a last line without its end counts, an empty text has none.
std::vector<std::string> ScriptTextLines(const std::string& text);
// The lines (UTF-8) of a phase: markers ("[after]", "[after write]" once trimmed, in any
// letter case) belong to neither; a second marker changes nothing. Blank lines stay.
std::vector<TScriptLine> ScriptPhaseLines(const std::vector<std::string>& lines, TScriptPhase phase);
// The end pauses (ms) of the lines, one per line that contains "endpause" in exactly that
// letter case, in any section: the text from the second character after the word read as
// a decimal number, 0 when it is not one.
std::vector<int32_t> ScriptEndPauses(const std::vector<std::string>& lines);
// The bytes of hex data: pairs of hex digits, an odd last digit ignored. Raises
// platform::EConvertError "'%s' is not a valid integer value" (the text) for any character
// that is not a hex digit, and ESarnupolex kScriptTooLong for more than 301 bytes, both
// before anything is sent.
std::vector<uint8_t> ScriptHexBytes(const std::string& hex);
// The bytes of send_str's text: its Windows-1251 bytes, with "#" and the decimal digits
// after it standing for one byte (the low 8 bits of the number). A "#" without a digit
// after it raises the conversion error (of the empty text); more than 301 bytes raise
// kScriptTooLong.
std::vector<uint8_t> ScriptTextBytes(const std::string& text);
// "Слишком длинная посылка в скрипте (максимум 301 байт)"
extern const char* const kScriptTooLong;

// Request PDUs (without CRC). transmit: function 16 from register 0x03F2, 2 registers
// (register, low 16 bits of value) or, with value2, 4 registers (register, value in 32
// bits, low 16 bits of value2), all high byte first.
std::vector<uint8_t> TransmitRequest(uint8_t address, int32_t reg, int32_t value, const int32_t* value2);
// restart2: 1 written to register 0x03E9.
std::vector<uint8_t> Restart2Request(uint8_t address);
// restart: diagnostics (function 8), sub-function 1, data 0.
std::vector<uint8_t> RestartRequest(uint8_t address);

// The working copy of a script: "Scripts/<name>.tmp<pid>" in the host folder.
std::filesystem::path ScriptWorkingFile(const TLoaderCore& core, const std::string& name);

// Runs one phase of the script on the core's connection. The preliminary phase clears
// the echo flag first; the final phase keeps it, so that an echo still pending is read
// as an echo and never taken for a reply. A final phase with activation on a current
// chip with FixedWrite starts with transfer.ActivateFlashSave(), script or not. An empty
// name ends there. The preliminary phase switches a serial line to speed for the script
// and back ("Не удалось открыть COM-порт для передачи скрипта", "Не удалось открыть
// COM-порт для работы после передачи скрипта"). A missing working copy raises
// ESarnupolex "Файл скрипта %s не существует" (its path). Each line is logged with the
// prefix "Выполнение предварительного|завершающего скрипта "<name>", команда: ", then
// " ok" or the error after the line in the operation log; the first error stops the
// script and is raised again. Ends with "Cкрипт "<name>" выполнен" (Latin C).
//
// Commands (first token, any letter case; other words are ignored): transmit, restart,
// restart2, echo, sleep, send, send_str, recv, fixed (activation, only in the final phase
// with activation allowed; elsewhere nothing), endpause (nothing here). A missing
// argument raises platform::EListError "List index out of bounds (%d)".
void MakeScript(TLoaderCore& core, TBlockTransfer& transfer, const std::string& name, int32_t speed,
                TScriptPhase phase, bool activation);

// With a name and an open transport: every end pause of the working copy, logged
// "Выполнение паузы окончания операции, %d мс: " and slept. A missing file does nothing
// (the preliminary phase has reported it).
void RunEndPause(TLoaderCore& core, const std::string& name);
