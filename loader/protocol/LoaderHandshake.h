#pragma once
// The handshake with the controller's bootloader: a probe 55 AA answered by the one-byte
// processor id, which selects (or confirms) the chip the transfers then use. Every
// device operation runs it right after the script's preliminary phase.

#include "platform/Exceptions.h"

#include <cstdint>

class TLoaderCore;

// The controller answered 75 AA: it is not in its bootloader and will not enter it.
class EHandShake_BootloaderExit : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EHandShake_BootloaderExit() override;
};

// No answer came within the connection's HandshakePeriod.
class EHandShake_Timeout : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EHandShake_Timeout() override;
};

// "Контроллер не находится в режиме прошивки \nВозможно нужно перезапустить контроллер
// или добавить скрипт в настройки подключения"
extern const char* const kBootloaderExitText;

// Overall limit of the probing when the connection has a script; none without one.
inline constexpr uint32_t kHandshakeScriptLimitMs = 5000;

// Returns at once when the connection's Handshake is off. Otherwise logs "Oжидание
// перезагрузки..." (Latin O) and probes under the wait window (TfmHandShake) until the
// bootloader answers. Raises ESarnupolex "Процедура рукопожатия не выполнена" when the
// probing ends otherwise: the button, the overall limit, or a controller that left the
// bootloader.
void RunHandShake(TLoaderCore& core);

// One attempt on the core's connection. A serial line is drained first (reads of at most
// 1024 bytes, logged "Принято при ожидании успокоения линии (%db):" with the first 20
// bytes when more than 20 came, else "Принято при ожидании успокоения линии:"); bytes
// still waiting raise ESarnupolex "Канал не пуст". Then "HandShake" and the probe 55 AA,
// and reads of up to 1025 bytes for HandshakePeriod ms:
// - one byte: with a chip selected it must be that chip's ByteID, else "Устройство не
//   соответветствует заданному в параметрах" and the wait goes on; with none, the first
//   chip of the table with that id (none: the wait goes on);
// - 75 AA with an overall limit set (limited): EHandShake_BootloaderExit;
// - any other bytes: "Канал не пуст (%db)" and the wait goes on.
// Without a chip found: ESarnupolex "Идентификатор процессора не поддерживается (-1)"
// when the last read that brought bytes brought exactly one, else EHandShake_Timeout
// "HandShake: истекло время ожидания ответа". On success the chip becomes current and
// "HandShake: ok" is logged.
void HandshakeAttempt(TLoaderCore& core, bool limited);
