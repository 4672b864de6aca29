#include "platform/VersionRecord.h"

#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr uint32_t kPtNote = 4;
constexpr uint16_t kPnXnum = 0xFFFF;
constexpr size_t kEhdrSize = 64;
constexpr size_t kPhdrSize = 56;
constexpr size_t kShdrSize = 64;
// No note segment of ours comes near this; larger ones are not read.
constexpr uint64_t kMaxNoteSegment = 1u << 20;

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t Get32(const unsigned char* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t Get64(const unsigned char* p)
{
    return static_cast<uint64_t>(Get32(p)) | (static_cast<uint64_t>(Get32(p + 4)) << 32);
}

// A file opened for reading only, with its size; every read is checked against it.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::filesystem::path& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY))
    {
        struct stat st {};
        if (fd_ >= 0 && ::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) size_ = static_cast<uint64_t>(st.st_size);
    }
    ~ReadOnlyFile()
    {
        if (fd_ >= 0) ::close(fd_);
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    uint64_t Size() const { return size_; }

    // Exactly count bytes at offset, all inside the file.
    bool Read(uint64_t offset, void* buffer, uint64_t count) const
    {
        if (offset > size_ || count > size_ - offset) return false;
        auto* out = static_cast<unsigned char*>(buffer);
        while (count > 0) {
            const ssize_t n = ::pread(fd_, out, count, static_cast<off_t>(offset));
            if (n <= 0) return false;
            out += n;
            offset += static_cast<uint64_t>(n);
            count -= static_cast<uint64_t>(n);
        }
        return true;
    }

private:
    int fd_;
    uint64_t size_ = 0;
};

uint64_t AlignUp(uint64_t value, uint64_t align) { return (value + align - 1) / align * align; }

// Our note among the notes of one PT_NOTE segment.
bool FindNote(const std::string& segment, uint64_t align, std::string& description)
{
    const size_t ownerSize = std::strlen(kVersionNoteOwner) + 1;
    const auto* data = reinterpret_cast<const unsigned char*>(segment.data());
    const uint64_t size = segment.size();
    uint64_t pos = 0;
    while (size - pos >= 12) {
        const uint64_t nameSize = Get32(data + pos);
        const uint64_t descSize = Get32(data + pos + 4);
        const uint32_t type = Get32(data + pos + 8);
        const uint64_t nameAt = pos + 12;
        if (nameSize > size - nameAt) return false;
        const uint64_t descAt = AlignUp(nameAt + nameSize, align);
        if (descAt > size || descSize > size - descAt) return false;
        if (type == kVersionNoteType && nameSize == ownerSize &&
            std::memcmp(data + nameAt, kVersionNoteOwner, ownerSize) == 0) {
            description.assign(segment, descAt, descSize);
            return true;
        }
        pos = AlignUp(descAt + descSize, align);
        if (pos > size) return false;
    }
    return false;
}

} // namespace

bool ReadVersionNote(const std::filesystem::path& file, std::string& description)
{
    const ReadOnlyFile in(file);
    unsigned char ehdr[kEhdrSize];
    if (!in.Read(0, ehdr, sizeof ehdr)) return false;
    if (std::memcmp(ehdr, "\x7F" "ELF", 4) != 0 || ehdr[4] != 2 /* 64-bit */ || ehdr[5] != 1 /* LE */)
        return false;
    const uint64_t phoff = Get64(ehdr + 32);
    const uint64_t shoff = Get64(ehdr + 40);
    const uint16_t phentsize = Get16(ehdr + 54);
    uint64_t phnum = Get16(ehdr + 56);
    if (phentsize < kPhdrSize) return false;
    if (phnum == kPnXnum) {
        // Too many program headers for the field: the count is in section header 0.
        unsigned char shdr[kShdrSize];
        if (shoff == 0 || !in.Read(shoff, shdr, sizeof shdr)) return false;
        phnum = Get32(shdr + 44);
    }
    if (phoff > in.Size() || phnum > (in.Size() - phoff) / phentsize) return false;

    for (uint64_t i = 0; i < phnum; ++i) {
        unsigned char phdr[kPhdrSize];
        if (!in.Read(phoff + i * phentsize, phdr, sizeof phdr)) return false;
        if (Get32(phdr) != kPtNote) continue;
        const uint64_t offset = Get64(phdr + 8);
        const uint64_t fileSize = Get64(phdr + 32);
        const uint64_t align = Get64(phdr + 48) == 8 ? 8 : 4;
        if (fileSize > kMaxNoteSegment) continue;
        std::string segment(fileSize, '\0');
        if (!in.Read(offset, segment.data(), fileSize)) return false;
        if (FindNote(segment, align, description)) return true;
    }
    return false;
}

bool ParseVersionRecord(std::string_view description, VersionRecord& record)
{
    const auto* data = reinterpret_cast<const unsigned char*>(description.data());
    const size_t size = description.size();
    constexpr size_t kFixed = 24;
    if (size < kFixed || Get32(data) < kVersionRecordLayout) return false;

    VersionRecord r;
    const uint32_t ms = Get32(data + 4);
    const uint32_t ls = Get32(data + 8);
    r.major = static_cast<uint16_t>(ms >> 16);
    r.minor = static_cast<uint16_t>(ms & 0xFFFF);
    r.release = static_cast<uint16_t>(ls >> 16);
    r.build = static_cast<uint16_t>(ls & 0xFFFF);
    r.fileFlagsMask = Get32(data + 12);
    r.fileFlags = Get32(data + 16);
    const uint32_t type = Get32(data + 20);
    r.fileType = type == 1 ? VersionFileType::Program
               : type == 2 ? VersionFileType::SharedLibrary
                           : VersionFileType::Unknown;

    size_t pos = kFixed;
    for (std::string* text : {&r.productName, &r.fileDescription, &r.fileVersion}) {
        if (size - pos < 4) return false;
        const uint32_t length = Get32(data + pos);
        pos += 4;
        if (length > size - pos) return false;
        text->assign(description.substr(pos, length));
        pos += length;
    }
    record = std::move(r);
    return true;
}

bool ReadVersionRecord(const std::filesystem::path& file, VersionRecord& record)
{
    std::string description;
    return ReadVersionNote(file, description) && ParseVersionRecord(description, record);
}

} // namespace platform
