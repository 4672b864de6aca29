#pragma once

#include "platform/Exceptions.h"

#include <cstdint>
#include <string>
#include <vector>

// Errors of the streams. They are not EHvoException: they report a failure of the
// medium, not of the component.
class EStreamError : public platform::Exception {
public:
    using platform::Exception::Exception;
    ~EStreamError() override;
};

// ReadBuffer got fewer bytes than asked: "Stream read error".
class EReadError : public EStreamError {
public:
    EReadError();
    ~EReadError() override;
};

// WriteBuffer placed fewer bytes than asked: "Stream write error".
class EWriteError : public EStreamError {
public:
    EWriteError();
    ~EWriteError() override;
};

enum class TSeekOrigin { soBeginning, soCurrent, soEnd };

// A seekable byte stream with 64-bit size and position.
class TStream {
public:
    TStream() = default;
    TStream(const TStream&) = delete;
    TStream& operator=(const TStream&) = delete;
    virtual ~TStream();

    // Reads up to count bytes at the position and advances it; returns the count read
    // (short at the end of the stream or on a failure; 0 for a negative count).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes at the position and advances it; returns the count written
    // (short when the medium takes less; never raises for that).
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position (-1 when the stream refuses).
    virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
    // Cuts or extends the stream to size bytes.
    virtual void SetSize(int64_t size) = 0;
    // The size in bytes; the default asks Seek and restores the position.
    virtual int64_t Size();

    int64_t Position() { return Seek(0, TSeekOrigin::soCurrent); }
    void SetPosition(int64_t position) { Seek(position, TSeekOrigin::soBeginning); }

    // Read or write exactly count bytes; EReadError / EWriteError otherwise.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
};

// A stream that only takes bytes, as a stage of the entry codec that hands them on:
// Read gives nothing, Seek refuses (-1), SetSize changes nothing.
class TWriteOnlyStream : public TStream {
public:
    ~TWriteOnlyStream() override;
    int64_t Read(void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
};

// A stream that only gives bytes, as a stage of the entry codec that reads them from
// another: Write takes nothing, Seek refuses (-1), SetSize changes nothing.
class TReadOnlyStream : public TStream {
public:
    ~TReadOnlyStream() override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    void SetSize(int64_t size) override;
};

// Open modes of TFileStream. fmCreate creates or truncates the file for reading and
// writing (mode 0666 less the umask); otherwise the low two bits choose the access and
// the share bits (0x10..0x40) have no meaning here.
inline constexpr uint32_t fmCreate = 0xFFFF;
inline constexpr uint32_t fmOpenRead = 0x0000;
inline constexpr uint32_t fmOpenWrite = 0x0001;
inline constexpr uint32_t fmOpenReadWrite = 0x0002;
inline constexpr uint32_t fmShareExclusive = 0x0010;
inline constexpr uint32_t fmShareDenyWrite = 0x0020;
inline constexpr uint32_t fmShareDenyNone = 0x0040;

// A file of the file system. A failed open raises platform::EFOpenError "Cannot open
// file "%s". %s" (platform::EFCreateError "Cannot create file "%s". %s" for fmCreate).
// The descriptor is closed on exec and closed by the destructor.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint32_t mode);
    // Takes over a descriptor that the caller opened (fileName only names it); the stream
    // closes it. Release gives it back instead.
    TFileStream(int fd, const std::string& fileName);
    ~TFileStream() override;
    // The descriptor, no longer owned by the stream (-1 after the first call).
    int Release();

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    // Raises platform::EOSError when the file cannot be resized; the position moves to size.
    void SetSize(int64_t size) override;
    int64_t Size() override;

    const std::string& FileName() const { return fileName_; }
    int Handle() const { return fd_; }

private:
    std::string fileName_;
    int fd_ = -1;
};

// Bytes in memory. The position may lie past the end: a write there fills the gap with
// zero bytes; a read there returns 0.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    ~TMemoryStream() override;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, TSeekOrigin origin) override;
    // The position stays unless it lies past the new size, then it moves to the size.
    void SetSize(int64_t size) override;
    int64_t Size() override { return static_cast<int64_t>(data_.size()); }

    uint8_t* Memory() { return data_.data(); }
    const uint8_t* Memory() const { return data_.data(); }
    // Empties the stream; position 0.
    void Clear();

private:
    std::vector<uint8_t> data_;
    int64_t position_ = 0;
};
