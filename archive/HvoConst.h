#pragma once

#include <cstdint>

// Texts of the ZIP component: the error messages, the map from the native error code
// (the place that failed) to its message, and the prompts of the component's own
// default event handling. Texts are UTF-8 (all of them are ASCII) and some are formats
// for HvoFormat ("%s" text, "%d" number).

// Number of message texts (indexes 0..41) and of native error codes (0..68). Native
// code 68 (message 41, "Unsafe entry name "%s" refused") is raised for an entry whose
// name would leave the target folder.
inline constexpr int kHvoMessageCount = 42;
inline constexpr int kHvoNativeCodeCount = 69;

// Message text of an index 0..41; "Unknown error" (index 0) for any other index.
const char* HvoMessageText(int index);

// Message index of a native code; 0 ("Unknown error") for a code outside 0..68.
int HvoMessageIndexOf(int nativeCode);

// Identifiers of the prompts.
inline constexpr int kHvoPromptFileNotOnDisk = 65040;     // "File '%s' not found on inserted disk. ..."
inline constexpr int kHvoPromptOverwrite = 65063;         // "Overwrite file "%s" with "%s""
inline constexpr int kHvoPromptPasswordFor = 65064;       // "Password for "%s""
inline constexpr int kHvoPromptEnterPassword = 65065;     // "Enter password: "
inline constexpr int kHvoPromptInsertBlankDisk = 65066;   // "Please insert a blank disk #%d"
inline constexpr int kHvoPromptInsertFirstDisk = 65067;   // "Please insert the first disk"
inline constexpr int kHvoPromptInsertLastDisk = 65068;    // "Please insert the last disk"
inline constexpr int kHvoPromptInsertDisk = 65069;        // "Please insert disk #%d"
inline constexpr int kHvoPromptDiskFull = 65070;          // "Disk is full. Required free space: %d bytes, ..."
inline constexpr int kHvoPromptProcessingError = 65071;   // "%s. File processing error, possibly disk is full"

// Text of a prompt by its identifier; an empty text for an unknown identifier.
const char* HvoPromptText(int id);
