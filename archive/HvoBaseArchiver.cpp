#include "archive/HvoBaseArchiver.h"

#include "archive/HvoConst.h"
#include "archive/HvoExcept.h"
#include "archive/HvoStrFunc.h"
#include "archive/HvoUpdate.h"
#include "platform/AtomicFile.h"
#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

#include <cerrno>
#include <exception>
#include <filesystem>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace {

// Trivially destructible: it needs no destructor at unload, and lives as long as the
// library is loaded.
std::recursive_mutex ArchiverLock;
static_assert(std::is_trivially_destructible_v<std::recursive_mutex>);

bool DefaultReadWriteProbe(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

THvoReadWriteProbe ReadWriteProbe = DefaultReadWriteProbe;

// The text after the last "/", "\" or ":".
std::string FileNamePart(const std::string& name)
{
    const size_t cut = name.find_last_of("/\\:");
    return cut == std::string::npos ? name : name.substr(cut + 1);
}

// A file (not a folder) exists under the name.
bool ArchiveFileExists(const std::string& name)
{
    struct stat st {};
    return ::stat(name.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

} // namespace

void EnterArchiverLock() { ArchiverLock.lock(); }
void LeaveArchiverLock() { ArchiverLock.unlock(); }

void SetHvoReadWriteProbe(THvoReadWriteProbe probe) { ReadWriteProbe = probe ? probe : DefaultReadWriteProbe; }

// ---- Construction ----------------------------------------------------------------------

THvoBaseArchiver::THvoBaseArchiver() = default;

void THvoBaseArchiver::Build()
{
    SetCompressionLevel(clFastest);
    encryptionMethod_ = caPkzipClassic;
    extractCorruptedFiles_ = false;
    repairOnOpen_ = true;
    spanningMode_ = smNone;
    zip64Mode_ = zmAuto;
    unicodeFilenames_ = false;
}

std::unique_ptr<THvoBaseArchiver> THvoBaseArchiver::Create()
{
    std::unique_ptr<THvoBaseArchiver> archiver(new THvoBaseArchiver);
    archiver->Build();
    return archiver;
}

THvoBaseArchiver::~THvoBaseArchiver()
{
    try {
        CloseArchive();
    } catch (...) {
        // A destructor cannot report: the stream and directory are released all the same.
    }
}

[[noreturn]] void THvoBaseArchiver::Raise(int nativeError) { throw EHvoException(nativeError, Name); }

// ---- Properties ------------------------------------------------------------------------

void THvoBaseArchiver::SetCompressionLevel(THvoCompressionLevel value)
{
    compressionLevel_ = value;
    compressionMode_ = static_cast<uint8_t>(LevelToMode(value));
    UpdateCompressionMethod();
}

void THvoBaseArchiver::SetCompressionMode(int value)
{
    if (value < 0 || value > 9) Raise(5);
    compressionMode_ = static_cast<uint8_t>(value);
    compressionLevel_ = ModeToLevel(value);
    UpdateCompressionMethod();
}

std::string THvoBaseArchiver::CurrentVersion() const { return " 6.10"; }

void THvoBaseArchiver::SetPassword(const std::string& value) { password_ = value; }

void THvoBaseArchiver::SetSpanningMode(THvoSpanningMode value)
{
    if (active_) throw platform::Exception("Cannot set spanning mode on open archive");
    spanningMode_ = value;
}

void THvoBaseArchiver::UpdateCompressionMethod() { compressionMethod_ = 0xFFFF; }

// ---- Guards ----------------------------------------------------------------------------

void THvoBaseArchiver::CheckActive()
{
    if (!active_) Raise(13);
}

void THvoBaseArchiver::CheckNoUpdate()
{
    if (updateCount_ > 0) Raise(26);
}

void THvoBaseArchiver::ResetUpdateCount()
{
    if (updateCount_ > 0) updateCount_ = 0;
}

// ---- Open and close --------------------------------------------------------------------

void THvoBaseArchiver::OpenArchive()
{
    if (!inMemory_ && FileNamePart(fileName_).empty()) Raise(9);
    uint16_t mode = kHvoOpenCreate;
    if (!inMemory_ && ArchiveFileExists(fileName_))
        mode = ReadWriteProbe(fileName_) ? kHvoOpenReadWrite : kHvoOpenReadOnly;
    openMode_ = mode;
    OpenArchiveMode(mode);
}

void THvoBaseArchiver::OpenArchiveMode(uint16_t mode)
{
    if (!inMemory_ && FileNamePart(fileName_).empty()) Raise(10);
    if (mode != kHvoOpenCreate && !ArchiveFileExists(fileName_) && spanningMode_ != smSpanning &&
        !IsRemovablePath(fileName_))
        throw EHvoException::CreateFmt(12, Name, {fileName_});
    if (mode != kHvoOpenCreate && inMemory_) Raise(28);
    CloseArchive();
    openMode_ = mode;
    if (mode == kHvoOpenCreate || inMemory_) {
        if (inMemory_) {
            volumes_.OpenMemory();
        } else {
            THvoVolumeNumberInfo first;
            first.SetFirst(true);
            volumes_.OpenVolume(first);
        }
        dirManager_ = std::make_unique<THvoDirManager>(volumes_.Stream(), *this, true);
    } else {
        volumes_.OpenArchiveDirectory();
    }
    active_ = true;
    if (AfterOpen) AfterOpen(*this);
}

void THvoBaseArchiver::OpenArchiveStream(TStream& stream)
{
    CloseArchive();
    openMode_ = kHvoOpenReadOnly;
    spanningMode_ = smNone;
    volumes_.UseStream(stream);
    dirManager_ = std::make_unique<THvoDirManager>(&stream, *this, false);
    dirManager_->ReadDirectory();
    active_ = true;
    if (AfterOpen) AfterOpen(*this);
}

void THvoBaseArchiver::ReleaseArchive()
{
    dirManager_.reset();
    volumes_.Release();
}

void THvoBaseArchiver::CloseArchive()
{
    if (!active_) {
        ReleaseArchive();
        return;
    }
    std::exception_ptr failure;
    try {
        Commit();
        TStream* stream = volumes_.Stream();
        if (stream && dirManager_ && stream->Size() == dirManager_->Shift) dirManager_->WriteDirectory();
    } catch (...) {
        failure = std::current_exception();
    }
    active_ = false;
    ReleaseArchive();
    if (failure) std::rethrow_exception(failure);
}

void THvoBaseArchiver::SetInMemory(bool value)
{
    if (value == inMemory_) return;
    if (active_ && !value) {
        if (FileNamePart(fileName_).empty()) Raise(29);
        // An archive that received nothing is finished as closing would finish it.
        if (volumes_.Stream()->Size() == dirManager_->Shift) dirManager_->WriteDirectory();
        TStream& stream = *volumes_.Stream();
        std::string image(static_cast<size_t>(stream.Size()), '\0');
        stream.SetPosition(0);
        stream.ReadBuffer(image.data(), static_cast<int64_t>(image.size()));
        // Written beside the file and renamed over it: a failed write keeps the old file.
        platform::WriteFileAtomically(fileName_, image);
        CloseArchive();
        inMemory_ = false;
        OpenArchive();
    } else if (active_) {
        CloseArchive();
        inMemory_ = true;
        OpenArchive();
    }
    inMemory_ = value;
}

// ---- Event dispatchers -----------------------------------------------------------------

namespace {

std::string WithBackslashes(std::string name)
{
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

std::string WithSlashes(std::string name)
{
    for (char& c : name)
        if (c == '\\') c = '/';
    return name;
}

// Caption of the component's own questions.
const char* const kConfirmationCaption = "Подтверждение";

} // namespace

void THvoBaseArchiver::DoOverallProgress(THvoProcessOperation Operation, THvoProgressPhase ProgressPhase,
                                         double Progress, bool& Cancel)
{
    if (OnOverallProgress)
        OnOverallProgress(*this, Progress, Operation, ProgressPhase, Cancel);
    else
        Cancel = false;
}

void THvoBaseArchiver::DoFileProgress(const std::string& FileName, THvoProcessOperation Operation, double Progress,
                                      THvoProgressPhase ProgressPhase, bool& Cancel)
{
    if (OnFileProgress)
        OnFileProgress(*this, WithBackslashes(FileName), Progress, Operation, ProgressPhase, Cancel);
    else
        Cancel = false;
}

void THvoBaseArchiver::DoCopyTempFileProgress(THvoProgressPhase ProgressPhase, bool& Cancel, double Progress)
{
    Cancel = false;
    if (OnCopyTempFileProgress) OnCopyTempFileProgress(*this, Progress, ProgressPhase, Cancel);
}

void THvoBaseArchiver::DoConfirmOverwrite(const std::string& SourceFileName, std::string& DestFileName, bool& Confirm)
{
    if (OnConfirmOverwrite) {
        OnConfirmOverwrite(*this, SourceFileName, DestFileName, Confirm);
        return;
    }
    Confirm = false;
    const auto answer = platform::ShowMessageBox(
        0, HvoFormat(HvoPromptText(kHvoPromptOverwrite), {HvoVisibleText(DestFileName), HvoVisibleText(SourceFileName)}), kConfirmationCaption,
        platform::MsgIcon::Question, platform::MsgButtons::YesNoNoToAllYesToAll);
    switch (answer) {
    case platform::MsgResult::Yes: Confirm = true; break;
    case platform::MsgResult::NoToAll: options_.OverwriteMode = omNever; break;
    case platform::MsgResult::YesToAll:
        Confirm = true;
        options_.OverwriteMode = omAlways;
        break;
    default: break;
    }
}

void THvoBaseArchiver::DoConfirmProcessFile(const std::string& FileName, THvoProcessOperation Operation, bool& Confirm)
{
    Confirm = true;
    if (OnConfirmProcessFile) OnConfirmProcessFile(*this, FileName, Operation, Confirm);
}

void THvoBaseArchiver::DoPassword(const std::string& FileName, std::string& NewPassword, bool& SkipFile)
{
    if (OnPassword)
        OnPassword(*this, FileName, NewPassword, SkipFile);
    else
        PasswordDialog(FileName, NewPassword, SkipFile);
}

void THvoBaseArchiver::DoProcessFileFailure(const std::string& FileName, THvoProcessOperation Operation,
                                            int NativeError, int ErrorCode, const std::string& ErrorMessage,
                                            THvoAction& Action)
{
    Action = fxaIgnore;
    if (OnProcessFileFailure) {
        OnProcessFileFailure(*this, FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
        return;
    }
    if (NativeError == 45) {
        Action = fxaAbort;
        return;
    }
    const bool nameTooLong = NativeError == 61;
    const std::string text =
        nameTooLong ? ErrorMessage : HvoFormat(HvoPromptText(kHvoPromptProcessingError), {ErrorMessage});
    const auto answer =
        platform::ShowMessageBox(0, text, kConfirmationCaption, platform::MsgIcon::Question,
                                 nameTooLong ? platform::MsgButtons::AbortIgnore : platform::MsgButtons::AbortRetryIgnore);
    Action = answer == platform::MsgResult::Retry    ? fxaRetry
             : answer == platform::MsgResult::Ignore ? fxaIgnore
                                                      : fxaAbort;
}

void THvoBaseArchiver::DoRequestBlankVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel)
{
    if (VolumeNumber < 0) VolumeNumber = 0;
    VolumeFileName = fileName_;
    GetVolumeName(VolumeFileName, VolumeNumber, false);
    Cancel = false;
    if (OnRequestBlankVolume) {
        OnRequestBlankVolume(*this, VolumeNumber + 1, VolumeFileName, Cancel);
    } else if (spanningMode_ == smSpanning) {
        const auto answer =
            platform::ShowMessageBox(0, HvoFormat(HvoPromptText(kHvoPromptInsertBlankDisk), {VolumeNumber + 1}),
                                     kConfirmationCaption, platform::MsgIcon::Question, platform::MsgButtons::OKCancel);
        Cancel = answer != platform::MsgResult::OK;
    }
}

bool THvoBaseArchiver::AskForDisk(const std::string& text)
{
    return platform::ShowMessageBox(0, text, kConfirmationCaption, platform::MsgIcon::Question,
                                    platform::MsgButtons::OKCancel) == platform::MsgResult::OK;
}

namespace {

// Whether the named volume exists; the name becomes the file found (letter case aside).
bool ResolveVolume(std::string& name)
{
    const std::string found = FindVolumeFile(name);
    if (found.empty()) return false;
    name = found;
    return true;
}

} // namespace

void THvoBaseArchiver::DoRequestFirstVolume(std::string& VolumeFileName, bool& Cancel)
{
    VolumeFileName = fileName_;
    GetVolumeName(VolumeFileName, 0, !OnRequestFirstVolume);
    Cancel = false;
    if (OnRequestFirstVolume) {
        OnRequestFirstVolume(*this, VolumeFileName, Cancel);
    } else if (spanningMode_ == smSpanning) {
        Cancel = !AskForDisk(HvoPromptText(kHvoPromptInsertFirstDisk));
        VolumeFileName = fileName_;
        GetVolumeName(VolumeFileName, 0, true);
    } else {
        Cancel = !ResolveVolume(VolumeFileName) && openMode_ != kHvoOpenCreate;
    }
}

void THvoBaseArchiver::DoRequestLastVolume(std::string& VolumeFileName, bool& Cancel)
{
    VolumeFileName = fileName_;
    GetVolumeName(VolumeFileName, -1, true);
    Cancel = false;
    if (OnRequestLastVolume) {
        OnRequestLastVolume(*this, VolumeFileName, Cancel);
    } else if (spanningMode_ == smSpanning) {
        bool first = true;
        do {
            Cancel = !AskForDisk(first ? std::string(HvoPromptText(kHvoPromptInsertLastDisk))
                                       : HvoFormat(HvoPromptText(kHvoPromptFileNotOnDisk), {HvoVisibleText(VolumeFileName)}));
            first = false;
        } while (!Cancel && !ResolveVolume(VolumeFileName));
    } else {
        Cancel = !ResolveVolume(VolumeFileName);
    }
}

void THvoBaseArchiver::DoRequestMiddleVolume(int VolumeNumber, std::string& VolumeFileName, bool& Cancel)
{
    VolumeFileName = fileName_;
    GetVolumeName(VolumeFileName, VolumeNumber, !OnRequestMiddleVolume);
    Cancel = false;
    if (OnRequestMiddleVolume) {
        OnRequestMiddleVolume(*this, VolumeNumber + 1, VolumeFileName, Cancel);
        return;
    }
    if (spanningMode_ == smSpanning)
        Cancel = !AskForDisk(HvoFormat(HvoPromptText(kHvoPromptInsertDisk), {VolumeNumber + 1}));
    else
        Cancel = !ResolveVolume(VolumeFileName);
    VolumeFileName = fileName_;
    GetVolumeName(VolumeFileName, VolumeNumber, true);
}

void THvoBaseArchiver::DoDiskFull(int VolumeNumber, const std::string& VolumeFileName, bool& Cancel)
{
    if (VolumeNumber != -1) Cancel = false;
    if (OnDiskFull) {
        OnDiskFull(*this, VolumeNumber + 1, VolumeFileName, Cancel);
        return;
    }
    if (spanningMode_ != smSpanning) throw EHvoException(65, {});
    THvoVolumeNumberInfo volume = volumes_.Current();
    if (VolumeNumber >= 0) volume.SetNumber(VolumeNumber);
    const int64_t required = spanningOptions_.VolumeSizeLimit(volume);
    const int64_t available = DiskFree(VolumeFileName);
    const auto answer =
        platform::ShowMessageBox(0, HvoFormat(HvoPromptText(kHvoPromptDiskFull), {required, available}),
                                 kConfirmationCaption, platform::MsgIcon::Question, platform::MsgButtons::OKCancel);
    Cancel = answer != platform::MsgResult::OK;
}

void THvoBaseArchiver::DoStoreFile(std::string& FileName, int32_t& FileAttr, std::string& Comment,
                                   const std::string& OriginalFileName)
{
    if (!OnStoreFile) return;
    FileName = WithBackslashes(FileName);
    OnStoreFile(*this, FileName, FileAttr, Comment, OriginalFileName);
    FileName = WithSlashes(FileName);
}

void THvoBaseArchiver::DoExtractFile(std::string& FileName, uint32_t& FileAttr, const std::string& Comment)
{
    FileName = WithBackslashes(FileName);
    if (OnExtractFile) OnExtractFile(*this, FileName, FileAttr, Comment);
}

std::string THvoBaseArchiver::MakeTempFileName()
{
    std::error_code ec;
    const std::string folder = tempDir_.empty() ? std::filesystem::temp_directory_path(ec).string() : tempDir_;
    const std::string pattern = WideIncludeTrailingBackslash(folder) + "hvXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = mkstemp(name.data());
    if (fd < 0) throw platform::EFCreateError(platform::CannotCreateFileText(pattern, errno));
    close(fd);
    return std::string(name.data());
}
