#include "loader/protocol/LoaderHandshake.h"

#include "loader/protocol/FHandShake.h"
#include "loader/io/IOSerial.h"
#include "loader/core/LoaderConnection.h"
#include "loader/core/LoaderCore.h"
#include "platform/Format.h"
#include "platform/Tick.h"

#include <algorithm>

namespace {

constexpr int32_t kDrainRead = 1024;
constexpr int32_t kAnswerRead = 1025;
constexpr size_t kDrainShown = 20;
constexpr uint8_t kProbe[2] = {0x55, 0xAA};

// Reads what waited in the serial line before the probe, logging it.
void DrainLine(TLoaderConnection& connection, TIOSerial& serial, TLoaderCore& core)
{
    // Only aborts pending transfers: the waiting bytes stay for the drain to read and log.
    serial.Purge(PURGE_TXABORT | PURGE_RXABORT);
    uint8_t buffer[kDrainRead];
    for (int32_t waiting = serial.InQueue(); waiting > 0;) {
        const int32_t got = connection.DeviceRead(buffer, std::min(waiting, kDrainRead));
        if (got <= 0) break; // counted but not readable: the check below reports it
        if (static_cast<size_t>(got) > kDrainShown)
            core.LogHexDump(platform::Format("Принято при ожидании успокоения линии (%db):", got), buffer, kDrainShown);
        else
            core.LogHexDump("Принято при ожидании успокоения линии:", buffer, static_cast<size_t>(got));
        waiting -= got;
    }
    if (serial.InQueue() > 0) throw ESarnupolex("Канал не пуст");
}

} // namespace

EHandShake_BootloaderExit::~EHandShake_BootloaderExit() = default;
EHandShake_Timeout::~EHandShake_Timeout() = default;

const char* const kBootloaderExitText =
    "Контроллер не находится в режиме прошивки \nВозможно нужно перезапустить контроллер или добавить скрипт в "
    "настройки подключения";

void RunHandShake(TLoaderCore& core)
{
    const TConnectionSettings& settings = core.Connection().Settings();
    if (!settings.Handshake) return;
    core.PostLogLine("Oжидание перезагрузки...");
    TfmHandShake form(core, settings.ScriptName.empty() ? 0 : kHandshakeScriptLimitMs);
    if (form.ShowModal() != platform::MsgResult::OK) throw ESarnupolex("Процедура рукопожатия не выполнена");
}

void HandshakeAttempt(TLoaderCore& core, bool limited)
{
    TLoaderConnection& connection = core.Connection();
    if (TIOSerial* serial = connection.Serial()) DrainLine(connection, *serial, core);

    core.PostLogLine("HandShake");
    connection.DeviceWrite(kProbe, sizeof kProbe);

    TChips& chips = core.Chips();
    TChip* const selected = chips.Current();
    const uint32_t period = static_cast<uint32_t>(std::max(connection.Settings().HandshakePeriod, 0));
    const uint64_t start = platform::GetTickCount();
    int index = -1;
    int32_t lastCount = 0; // bytes of the last read that brought any
    uint8_t buffer[kAnswerRead];
    while (index == -1 && platform::GetTickCount() - start < period) {
        const int32_t got = connection.DeviceRead(buffer, kAnswerRead);
        if (got <= 0) continue;
        lastCount = got;
        if (got == 1) {
            if (selected) {
                if (selected->ByteID == buffer[0]) {
                    for (int i = 0; i < chips.Count() && index < 0; ++i)
                        if (&chips.Items(i) == selected) index = i;
                } else {
                    core.PostLogLine("Устройство не соответветствует заданному в параметрах");
                }
            } else {
                index = chips.IndexOfByteID(buffer[0], false);
            }
        } else if (got == 2 && buffer[0] == 0x75 && buffer[1] == 0xAA && limited) {
            throw EHandShake_BootloaderExit(kBootloaderExitText);
        } else {
            core.PostLogLine(platform::Format("Канал не пуст (%db)", got));
        }
    }
    if (index == -1) {
        if (lastCount == 1) throw ESarnupolex("Идентификатор процессора не поддерживается (-1)");
        throw EHandShake_Timeout("HandShake: истекло время ожидания ответа");
    }
    chips.SelectChip(index);
    core.PostLogLine("HandShake: ok");
}
