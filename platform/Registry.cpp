#include "platform/Registry.h"

#include "platform/AtomicFile.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

bool SameText(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

std::string Quote(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '\\' || c == '"') {
            out += '\\';
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            out += c;
        }
    }
    return out + '"';
}

// Reads a quoted text starting at s[pos] == '"'; pos ends after the closing quote.
bool Unquote(const std::string& s, size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) {
            c = s[++pos];
            if (c == 'n') c = '\n';
            else if (c == 'r') c = '\r';
        }
        out += c;
    }
    return false;
}

[[noreturn]] void RaiseOS(int code)
{
    throw EOSError(SysErrorMessage(code), code);
}

void MakeFolder(const std::filesystem::path& dir)
{
    if (dir.empty()) return;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) {
        if (!S_ISDIR(st.st_mode)) RaiseOS(ENOTDIR);
        return;
    }
    MakeFolder(dir.parent_path());
    if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) RaiseOS(errno);
}

// Holds the store's lock file locked for the life of the object.
class StoreLock {
public:
    StoreLock(const std::filesystem::path& file, int operation)
    {
        MakeFolder(file.parent_path());
        const std::string lockName = file.string() + ".lock";
        fd_ = ::open(lockName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ < 0) RaiseOS(errno);
        while (::flock(fd_, operation) != 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd_);
            RaiseOS(code);
        }
    }
    ~StoreLock() { ::close(fd_); }
    StoreLock(const StoreLock&) = delete;
    StoreLock& operator=(const StoreLock&) = delete;

private:
    int fd_ = -1;
};

RegistryData LoadUnlocked(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) return {};
        RaiseOS(errno);
    }
    std::string text;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            ::close(fd);
            RaiseOS(code);
        }
        if (n == 0) break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return RegistryData::Parse(text);
}

} // namespace

std::string RegistryKey(const std::string& root, const std::string& subKey)
{
    return subKey.empty() ? root : root + "\\" + subKey;
}

RegistryData::Key* RegistryData::FindKey(const std::string& path)
{
    for (auto& k : keys_)
        if (SameText(k.path, path)) return &k;
    return nullptr;
}

const RegistryData::Key* RegistryData::FindKey(const std::string& path) const
{
    for (const auto& k : keys_)
        if (SameText(k.path, path)) return &k;
    return nullptr;
}

std::optional<RegistryValue> RegistryData::Get(const std::string& key, const std::string& name) const
{
    if (const Key* k = FindKey(key))
        for (const auto& [n, v] : k->values)
            if (SameText(n, name)) return v;
    return std::nullopt;
}

void RegistryData::Set(const std::string& key, const std::string& name, const RegistryValue& value)
{
    Key* k = FindKey(key);
    if (!k) {
        keys_.push_back(Key{key, {}});
        k = &keys_.back();
    }
    for (auto& [n, v] : k->values)
        if (SameText(n, name)) {
            v = value;
            return;
        }
    k->values.emplace_back(name, value);
}

bool RegistryData::Remove(const std::string& key, const std::string& name)
{
    Key* k = FindKey(key);
    if (!k) return false;
    for (auto it = k->values.begin(); it != k->values.end(); ++it)
        if (SameText(it->first, name)) {
            k->values.erase(it);
            return true;
        }
    return false;
}

std::vector<std::pair<std::string, RegistryValue>> RegistryData::Values(const std::string& key) const
{
    if (const Key* k = FindKey(key)) return k->values;
    return {};
}

std::string RegistryData::Serialize() const
{
    std::string out;
    for (const auto& k : keys_) {
        out += "[" + k.path + "]\n";
        for (const auto& [name, v] : k.values) {
            out += name.empty() ? std::string("@") : Quote(name);
            out += '=';
            if (v.type == RegistryValue::Type::Dword)
                out += Format("dword:%08x", v.number);
            else
                out += Quote(v.text);
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

RegistryData RegistryData::Parse(const std::string& text)
{
    RegistryData data;
    std::string key;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            const size_t close = line.rfind(']');
            key = close == std::string::npos ? std::string() : line.substr(1, close - 1);
            continue;
        }
        if (key.empty()) continue;
        std::string name;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!Unquote(line, pos, name)) {
            continue;
        }
        if (pos >= line.size() || line[pos] != '=') continue;
        ++pos;
        if (line.compare(pos, 6, "dword:") == 0) {
            const std::string digits = line.substr(pos + 6);
            char* stop = nullptr;
            errno = 0;
            const unsigned long v = std::strtoul(digits.c_str(), &stop, 16);
            if (digits.empty() || *stop != '\0' || errno != 0 || v > 0xFFFFFFFFul) continue;
            data.Set(key, name, RegistryValue::Dword(static_cast<uint32_t>(v)));
        } else {
            std::string value;
            if (!Unquote(line, pos, value)) continue;
            data.Set(key, name, RegistryValue::String(value));
        }
    }
    return data;
}

RegistryStore::RegistryStore(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path RegistryStore::DefaultFile()
{
    if (const char* v = std::getenv(kRegistryFileVariable); v && *v) return v;
    std::filesystem::path base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        base = x;
    else
        base = std::filesystem::path(std::getenv("HOME") ? std::getenv("HOME") : "") / ".config";
    return base / "Mirvak" / "registry.reg";
}

RegistryData RegistryStore::Load() const
{
    StoreLock lock(file_, LOCK_SH);
    return LoadUnlocked(file_);
}

void RegistryStore::Update(const std::function<bool(RegistryData&)>& change) const
{
    StoreLock lock(file_, LOCK_EX);
    RegistryData data = LoadUnlocked(file_);
    if (change(data)) WriteFileAtomically(file_, data.Serialize());
}

std::optional<RegistryValue> RegistryStore::Read(const std::string& key, const std::string& name) const
{
    return Load().Get(key, name);
}

void RegistryStore::Write(const std::string& key, const std::string& name, const RegistryValue& value) const
{
    Update([&](RegistryData& d) {
        d.Set(key, name, value);
        return true;
    });
}

RegistryValue RegistryStore::ReadOrCreate(const std::string& key, const std::string& name,
                                          const RegistryValue& initial) const
{
    RegistryValue result = initial;
    Update([&](RegistryData& d) {
        if (auto v = d.Get(key, name)) {
            result = *v;
            return false;
        }
        d.Set(key, name, initial);
        return true;
    });
    return result;
}

} // namespace platform
