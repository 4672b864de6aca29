#pragma once

#include "platform/PlatformApi.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform {

// The few registry values the system keeps live in one text file in the per-user folder,
// written in the layout of a ".reg" export:
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Quorvandell\SERIALCOMM]
//   "CheckTxEmpty"=dword:00000000
//   "/dev/serial/by-id/usb-FTDI-if00-port0"="COM3"
//
// Key paths and value names compare without regard to ASCII case, as on Windows.

// Environment variable that names the store's file (tests set it).
inline constexpr const char* kRegistryFileVariable = "MIRVAK_REGISTRY_FILE";

inline constexpr const char* kHKeyLocalMachine = "HKEY_LOCAL_MACHINE";
inline constexpr const char* kHKeyCurrentUser = "HKEY_CURRENT_USER";

// Root and sub-key joined with a backslash.
PLATFORM_API std::string RegistryKey(const std::string& root, const std::string& subKey);

struct RegistryValue {
    enum class Type { String, Dword };
    Type type = Type::String;
    std::string text;     // String
    uint32_t number = 0;  // Dword

    static RegistryValue String(std::string s) { return {Type::String, std::move(s), 0}; }
    static RegistryValue Dword(uint32_t v) { return {Type::Dword, {}, v}; }
    bool operator==(const RegistryValue&) const = default;
};

// The whole store in memory; keys and values keep the order in which they were added.
class PLATFORM_API RegistryData {
public:
    std::optional<RegistryValue> Get(const std::string& key, const std::string& name) const;
    void Set(const std::string& key, const std::string& name, const RegistryValue& value);
    bool Remove(const std::string& key, const std::string& name);
    std::vector<std::pair<std::string, RegistryValue>> Values(const std::string& key) const;

    // ".reg" text and back; lines that do not parse are skipped.
    std::string Serialize() const;
    static RegistryData Parse(const std::string& text);

private:
    struct Key {
        std::string path;
        std::vector<std::pair<std::string, RegistryValue>> values;
    };
    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    std::vector<Key> keys_;
};

// One store file. Every access takes an exclusive lock on "<file>.lock" for its whole
// read-modify-write, so processes and threads see each other's changes whole; the
// file itself is replaced atomically. Failures raise EOSError with the system's text, or
// EFCreateError when the new contents cannot be written.
class PLATFORM_API RegistryStore {
public:
    explicit RegistryStore(std::filesystem::path file);

    // The store of this user: $MIRVAK_REGISTRY_FILE when set, else
    // $XDG_CONFIG_HOME/Mirvak/registry.reg (or ~/.config/Mirvak/registry.reg).
    static std::filesystem::path DefaultFile();

    const std::filesystem::path& File() const { return file_; }

    RegistryData Load() const;
    // Runs `change` on the current contents under the lock; writes them back when it
    // returns true.
    void Update(const std::function<bool(RegistryData&)>& change) const;

    std::optional<RegistryValue> Read(const std::string& key, const std::string& name) const;
    void Write(const std::string& key, const std::string& name, const RegistryValue& value) const;
    // Reads a value, first writing `initial` when it does not exist.
    RegistryValue ReadOrCreate(const std::string& key, const std::string& name,
                               const RegistryValue& initial) const;

private:
    std::filesystem::path file_;
};

} // namespace platform
