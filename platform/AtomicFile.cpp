#include "platform/AtomicFile.h"

#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <streambuf>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

// Writes all n bytes; 0, or the error number of the failed write.
int WriteAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return 0;
}

// A minimal output buffer over a file descriptor; remembers the first write error.
class FdBuf : public std::streambuf {
public:
    explicit FdBuf(int fd) : fd_(fd), buf_(1 << 16) { setp(buf_.data(), buf_.data() + buf_.size()); }
    int error() const { return error_; }
    bool flushAll() { return drain(); }

protected:
    int_type overflow(int_type ch) override
    {
        if (!drain()) return traits_type::eof();
        if (!traits_type::eq_int_type(ch, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ch);
            pbump(1);
        }
        return traits_type::not_eof(ch);
    }
    int sync() override { return drain() ? 0 : -1; }
    std::streamsize xsputn(const char* s, std::streamsize n) override
    {
        if (n > static_cast<std::streamsize>(buf_.size())) {
            if (!drain()) return 0;
            return writeAll(s, static_cast<size_t>(n)) ? n : 0;
        }
        return std::streambuf::xsputn(s, n);
    }

private:
    bool writeAll(const char* p, size_t n)
    {
        const int error = WriteAll(fd_, p, n);
        if (error && !error_) error_ = error;
        return error == 0;
    }
    bool drain()
    {
        const size_t n = static_cast<size_t>(pptr() - pbase());
        const bool ok = writeAll(pbase(), n);
        setp(buf_.data(), buf_.data() + buf_.size());
        return ok;
    }

    int fd_;
    std::vector<char> buf_;
    int error_ = 0;
};

mode_t CurrentUmask()
{
    // /proc/self/status has it without the race of umask(0)/umask(old).
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned value = 0;
        bool found = false;
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "Umask: %o", &value) == 1) {
                found = true;
                break;
            }
        std::fclose(f);
        if (found) return static_cast<mode_t>(value);
    }
    const mode_t old = ::umask(022);
    ::umask(old);
    return old;
}

// The file that is really replaced: a symbolic link's destination, link by link.
std::filesystem::path ResolveTarget(std::filesystem::path p)
{
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code ec;
        if (!std::filesystem::is_symlink(p, ec)) break;
        auto dest = std::filesystem::read_symlink(p, ec);
        if (ec) break;
        p = dest.is_absolute() ? dest : p.parent_path() / dest;
    }
    return p;
}

} // namespace

std::string CannotCreateFileText(const std::filesystem::path& path, int error)
{
    return Format("Cannot create file \"%s\". %s", path.string().c_str(), SysErrorMessage(error).c_str());
}

std::string CannotOpenFileText(const std::filesystem::path& path, int error)
{
    return Format("Cannot open file \"%s\". %s", path.string().c_str(), SysErrorMessage(error).c_str());
}

namespace {

// Replaces the target with a temporary file that fill writes through its descriptor;
// fill gives 0, or the error number of a failed write.
void ReplaceFile(const std::filesystem::path& target, const std::function<int(int fd)>& fill)
{
    const std::filesystem::path real = ResolveTarget(target);
    std::filesystem::path dir = real.parent_path();
    if (dir.empty()) dir = ".";
    std::string tmpl = (dir / ("." + real.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(tmpl.data(), O_CLOEXEC);
    if (fd < 0) throw EFCreateError(CannotCreateFileText(target, errno));
    const std::string tmp = tmpl;

    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw EFCreateError(CannotCreateFileText(target, err));
    };

    struct stat st{};
    const mode_t mode = ::stat(real.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~CurrentUmask());
    if (::fchmod(fd, mode) != 0) fail(errno);

    int writeError = 0;
    try {
        writeError = fill(fd);
    } catch (...) {
        ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (writeError) fail(writeError);
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throw EFCreateError(CannotCreateFileText(target, err));
    }
    if (::rename(tmp.c_str(), real.c_str()) != 0) {
        const int err = errno;
        ::unlink(tmp.c_str());
        throw EFCreateError(CannotCreateFileText(target, err));
    }
}

} // namespace

void WriteFileAtomically(const std::filesystem::path& target, const std::function<void(std::ostream&)>& writer)
{
    ReplaceFile(target, [&writer](int fd) {
        FdBuf buf(fd);
        std::ostream os(&buf);
        writer(os);
        os.flush();
        if (!buf.flushAll() || buf.error()) return buf.error() ? buf.error() : EIO;
        return 0;
    });
}

void WriteFileAtomically(const std::filesystem::path& target, std::string_view bytes)
{
    // Straight from the bytes: no stream buffer to fill for a text already in memory.
    ReplaceFile(target, [bytes](int fd) { return WriteAll(fd, bytes.data(), bytes.size()); });
}

void OpenInputFile(const std::filesystem::path& path, std::ifstream& stream)
{
    errno = 0;
    stream.open(path, std::ios::binary | std::ios::in);
    if (!stream.is_open()) throw EFOpenError(CannotOpenFileText(path, errno ? errno : ENOENT));
}

} // namespace platform
