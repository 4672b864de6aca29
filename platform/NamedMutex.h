#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {

// Environment variable that names the folder of the lock files (tests set it).
inline constexpr const char* kRuntimeDirVariable = "MIRVAK_RUNTIME_DIR";

// Folder of the named mutexes: $MIRVAK_RUNTIME_DIR, else $XDG_RUNTIME_DIR/mirvak, else
// /tmp/mirvak-<uid>; created with mode 0700 when missing.
PLATFORM_API std::filesystem::path RuntimeDir();

// The lock file behind a mutex name (any text; it is escaped into one file name).
PLATFORM_API std::filesystem::path NamedMutexFile(const std::string& name);

// A mutex shared by name between the threads and processes of this user: an exclusive
// flock on a file in the runtime folder. Each object has its own open file, so two
// objects of one name exclude each other also inside one process. The kernel frees the
// lock when its holder dies. Not re-entrant.
class PLATFORM_API NamedMutex {
public:
    explicit NamedMutex(std::string name);
    ~NamedMutex();
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    const std::string& Name() const { return name_; }

    // Takes the mutex, waiting at most timeoutMs; false when it stayed taken. A failure
    // of the system raises EOSError with its text.
    bool TryLock(uint32_t timeoutMs);
    // Frees the mutex when this object holds it; otherwise does nothing.
    void Unlock();
    bool Held() const { return fd_ >= 0; }

private:
    std::string name_;
    int fd_ = -1;
};

} // namespace platform
