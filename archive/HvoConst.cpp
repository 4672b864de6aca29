#include "archive/HvoConst.h"

#include <cstddef>
#include <iterator>

namespace {

const char* const kMessages[kHvoMessageCount] = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find 64-bit directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several times",
    "Deflate64 compression method is not supported",
    "MakeSFX error",
    "Hashed list of file names is invalid",
    "Cannot delete folder \"%s\"",
    "File name is too long: \r\n\"%s\"",
    "Multiple transactions are not supported for multi-volume archives",
    "Invalid InitVector index = %d. Index should be >= 0 and < %d",
    "Disk is full. There is not enough free space on disk.",
    "Invalid password. Cannot decompress encrypted file.",
    "Unsafe entry name \"%s\" refused",
};

// Message index of each native code, the code being the position.
const uint8_t kNativeToMessage[kHvoNativeCodeCount] = {
    0,  1,  1,  1,  1,  2,  3,  1,  4,  5,  5,  6,  6,  7,  7,  6,  1,  //  0..16
    8,  6,  9,  10, 1,  11, 9,  1,  11, 13, 14, 15, 5,  6,  6,  16, 12, // 17..33
    17, 18, 19, 20, 6,  21, 22, 23, 6,  23, 24, 24, 25, 26, 27, 28, 29, // 34..50
    30, 31, 6,  6,  32, 33, 27, 34, 34, 35, 36, 37, 38, 38, 39, 39, 40, // 51..67
    41,                                                                 // 68
};

struct Prompt {
    int id;
    const char* text;
};

const Prompt kPrompts[] = {
    {kHvoPromptFileNotOnDisk, "File '%s' not found on inserted disk. Please insert last disk with required file"},
    {kHvoPromptOverwrite, "Overwrite file \"%s\" with \"%s\""},
    {kHvoPromptPasswordFor, "Password for \"%s\""},
    {kHvoPromptEnterPassword, "Enter password: "},
    {kHvoPromptInsertBlankDisk, "Please insert a blank disk #%d"},
    {kHvoPromptInsertFirstDisk, "Please insert the first disk"},
    {kHvoPromptInsertLastDisk, "Please insert the last disk"},
    {kHvoPromptInsertDisk, "Please insert disk #%d"},
    {kHvoPromptDiskFull,
     "Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk or find another blank disk"},
    {kHvoPromptProcessingError, "%s. File processing error, possibly disk is full"},
};

} // namespace

const char* HvoMessageText(int index)
{
    return index >= 0 && index < kHvoMessageCount ? kMessages[index] : kMessages[0];
}

int HvoMessageIndexOf(int nativeCode)
{
    return nativeCode >= 0 && nativeCode < kHvoNativeCodeCount ? kNativeToMessage[nativeCode] : 0;
}

const char* HvoPromptText(int id)
{
    for (const Prompt& p : kPrompts)
        if (p.id == id) return p.text;
    return "";
}
