#pragma once

#include "platform/Exceptions.h"

#include <concepts>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

// One argument of HvoFormat: UTF-8 text or a 64-bit integer.
class THvoFormatArg {
public:
    THvoFormatArg(std::string_view text) : text_(text), isText_(true) {}
    THvoFormatArg(const std::string& text) : text_(text), isText_(true) {}
    THvoFormatArg(const char* text) : text_(text ? text : ""), isText_(true) {}
    template <std::integral T>
    THvoFormatArg(T number) : number_(static_cast<int64_t>(number))
    {
    }

    bool IsText() const { return isText_; }
    const std::string& Text() const { return text_; }
    int64_t Number() const { return number_; }

private:
    std::string text_;
    int64_t number_ = 0;
    bool isText_ = false;
};

// Formats the component's texts: "%%", and "%[-][0][width][.precision]" followed by
// s (text; a number is written in decimal), d (signed decimal), u (unsigned decimal),
// x or X (hexadecimal). Width and precision count characters, not bytes; for numbers the
// precision is the least number of digits ("%.3u" of 7 is "007"). A missing argument or
// a malformed format item raises platform::EConvertError
// "Format '%s' invalid or incompatible with argument".
std::string HvoFormat(std::string_view format, std::initializer_list<THvoFormatArg> args);

// Text shown inside a message (an entry name, a path), with its control characters
// written visibly, so that a message never ends early or breaks a line: LF as "\n",
// CR as "\r", TAB as "\t", every other byte below 0x20 and DEL as "\x" and two
// lowercase hexadecimal digits (NUL as "\x00", ESC as "\x1b"). Every other byte,
// UTF-8 sequences and backslashes included, stays as it is.
std::string HvoVisibleText(std::string_view text);

// The only class of the ZIP component's own errors. The message is
//   [component name ": "] text " - Native error: " NNNNN
// where the text is the message of the native code (HvoConst), formatted with the
// arguments by CreateFmt (text arguments, names and paths, written by HvoVisibleText),
// and NNNNN is the native code right-aligned in five characters with every blank turned
// into "0" (7 gives 00007, -1 gives 000-1). A native code outside 0..68 has the message
// "Unknown error". An empty component name (no component, or a component without a
// name) gives no prefix. Message() is the whole message; pass it on as a std::string,
// never through what().
class EHvoException : public platform::Exception {
public:
    EHvoException(int nativeCode, std::string_view componentName);
    EHvoException(int nativeCode, std::string_view componentName, std::initializer_list<THvoFormatArg> args);
    ~EHvoException() override;

    // The plain form: the message text is used as it is.
    static EHvoException Create(int nativeCode, std::string_view componentName = {});
    // The message text is a format for the arguments.
    static EHvoException CreateFmt(int nativeCode, std::string_view componentName,
                                   std::initializer_list<THvoFormatArg> args);

    // The whole message.
    const std::string& Message() const { return message_; }

    int32_t ErrorCode; // index 0..41 of the message text
    int32_t NativeError; // native code given by the raiser

private:
    EHvoException(std::string message, int nativeCode);

    std::string message_;
};

// A failure reported by zlib while compressing: "error " and zlib's result number.
class EHvoZlibError : public platform::Exception {
public:
    explicit EHvoZlibError(int result);
    ~EHvoZlibError() override;
    int32_t Result;
};
