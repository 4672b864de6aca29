#include "archive/HvoStreams.h"

#include "platform/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

EStreamError::~EStreamError() = default;
EReadError::EReadError() : EStreamError("Stream read error") {}
EReadError::~EReadError() = default;
EWriteError::EWriteError() : EStreamError("Stream write error") {}
EWriteError::~EWriteError() = default;

TStream::~TStream() = default;

int64_t TStream::Size()
{
    const int64_t position = Seek(0, TSeekOrigin::soCurrent);
    const int64_t size = Seek(0, TSeekOrigin::soEnd);
    Seek(position, TSeekOrigin::soBeginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count) throw EWriteError();
}

TWriteOnlyStream::~TWriteOnlyStream() = default;
int64_t TWriteOnlyStream::Read(void*, int64_t) { return 0; }
int64_t TWriteOnlyStream::Seek(int64_t, TSeekOrigin) { return -1; }
void TWriteOnlyStream::SetSize(int64_t) {}

TReadOnlyStream::~TReadOnlyStream() = default;
int64_t TReadOnlyStream::Write(const void*, int64_t) { return 0; }
int64_t TReadOnlyStream::Seek(int64_t, TSeekOrigin) { return -1; }
void TReadOnlyStream::SetSize(int64_t) {}

namespace {

// One system call moves at most this much.
constexpr int64_t kChunk = int64_t(1) << 30;

int OpenFlags(uint32_t mode)
{
    if (mode == fmCreate) return O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC;
    switch (mode & 3) {
    case fmOpenWrite:
        return O_WRONLY | O_CLOEXEC;
    case fmOpenReadWrite:
        return O_RDWR | O_CLOEXEC;
    default:
        return O_RDONLY | O_CLOEXEC;
    }
}

} // namespace

TFileStream::TFileStream(const std::string& fileName, uint32_t mode) : fileName_(fileName)
{
    do {
        fd_ = ::open(fileName.c_str(), OpenFlags(mode), 0666);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) {
        const int error = errno;
        if (mode == fmCreate) throw platform::EFCreateError(platform::CannotCreateFileText(fileName, error));
        throw platform::EFOpenError(platform::CannotOpenFileText(fileName, error));
    }
}

TFileStream::TFileStream(int fd, const std::string& fileName) : fileName_(fileName), fd_(fd) {}

int TFileStream::Release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0) ::close(fd_);
}

namespace {

// Moves up to count bytes with the system call, retrying after signals; stops at the end
// of the file or at the first error and returns the count moved.
template <class Buffer, class Call>
int64_t Transfer(int fd, Buffer* buffer, int64_t count, Call call)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = call(fd, buffer + done, static_cast<size_t>(std::min(count - done, kChunk)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

} // namespace

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    return Transfer(fd_, static_cast<uint8_t*>(buffer), count, ::read);
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    return Transfer(fd_, static_cast<const uint8_t*>(buffer), count, ::write);
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin)
{
    const int whence = origin == TSeekOrigin::soBeginning ? SEEK_SET : origin == TSeekOrigin::soCurrent ? SEEK_CUR : SEEK_END;
    return ::lseek(fd_, static_cast<off_t>(offset), whence);
}

void TFileStream::SetSize(int64_t size)
{
    int rc;
    do {
        rc = ::ftruncate(fd_, static_cast<off_t>(size));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        const int error = errno;
        throw platform::EOSError(platform::SysErrorMessage(error), error);
    }
    Seek(size, TSeekOrigin::soBeginning);
}

int64_t TFileStream::Size()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

TMemoryStream::~TMemoryStream() = default;

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    const auto size = static_cast<int64_t>(data_.size());
    if (count <= 0 || position_ < 0 || position_ >= size) return 0;
    const int64_t n = std::min(count, size - position_);
    std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0 || position_ < 0) return 0;
    const int64_t end = position_ + count;
    if (end > static_cast<int64_t>(data_.size())) data_.resize(static_cast<size_t>(end));
    std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin)
{
    switch (origin) {
    case TSeekOrigin::soBeginning:
        position_ = offset;
        break;
    case TSeekOrigin::soCurrent:
        position_ += offset;
        break;
    case TSeekOrigin::soEnd:
        position_ = static_cast<int64_t>(data_.size()) + offset;
        break;
    }
    return position_;
}

void TMemoryStream::SetSize(int64_t size)
{
    data_.resize(static_cast<size_t>(std::max<int64_t>(size, 0)));
    position_ = std::min(position_, static_cast<int64_t>(data_.size()));
}

void TMemoryStream::Clear()
{
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}
