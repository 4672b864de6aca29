#include "archive/HvoExcept.h"

#include "archive/HvoConst.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

[[noreturn]] void InvalidFormat(std::string_view format)
{
    throw platform::EConvertError("Format '" + std::string(format) + "' invalid or incompatible with argument");
}

size_t CodePoints(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        if ((static_cast<uint8_t>(c) & 0xC0) != 0x80) ++n;
    return n;
}

// The first `count` characters of UTF-8 text.
std::string FirstCodePoints(const std::string& text, size_t count)
{
    size_t n = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) {
            if (n == count) return text.substr(0, i);
            ++n;
        }
    }
    return text;
}

std::string FormatNumber(int64_t value, char conversion, bool left, bool zero, int width, int precision)
{
    std::string spec = "%";
    if (left) spec += '-';
    if (zero) spec += '0';
    if (width >= 0) spec += std::to_string(width);
    if (precision >= 0) spec += "." + std::to_string(precision);
    char buf[96];
    switch (conversion) {
    case 'd':
        std::snprintf(buf, sizeof buf, (spec + "lld").c_str(), static_cast<long long>(value));
        break;
    case 'u':
        std::snprintf(buf, sizeof buf, (spec + "llu").c_str(), static_cast<unsigned long long>(value));
        break;
    default:
        std::snprintf(buf, sizeof buf, (spec + "ll" + conversion).c_str(), static_cast<unsigned long long>(value));
        break;
    }
    return buf;
}

} // namespace

namespace {

std::string FormatArgs(std::string_view format, const THvoFormatArg* next, const THvoFormatArg* last)
{
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i++];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i < format.size() && format[i] == '%') {
            out += '%';
            ++i;
            continue;
        }
        bool left = false, zero = false;
        for (; i < format.size() && (format[i] == '-' || format[i] == '0'); ++i)
            (format[i] == '-' ? left : zero) = true;
        int width = -1, precision = -1;
        auto readNumber = [&](int& value) {
            while (i < format.size() && format[i] >= '0' && format[i] <= '9') {
                value = (value < 0 ? 0 : value) * 10 + (format[i++] - '0');
                if (value > 1000) InvalidFormat(format);
            }
        };
        readNumber(width);
        if (i < format.size() && format[i] == '.') {
            ++i;
            precision = 0;
            readNumber(precision);
        }
        if (i >= format.size() || next == last) InvalidFormat(format);
        const char conversion = format[i++];
        const THvoFormatArg& arg = *next++;
        if (conversion == 's') {
            std::string text = arg.IsText() ? arg.Text() : std::to_string(arg.Number());
            if (precision >= 0) text = FirstCodePoints(text, static_cast<size_t>(precision));
            const size_t length = CodePoints(text);
            const std::string pad(width > 0 && static_cast<size_t>(width) > length ? static_cast<size_t>(width) - length : 0, ' ');
            out += left ? text + pad : pad + text;
        } else if (conversion == 'd' || conversion == 'u' || conversion == 'x' || conversion == 'X') {
            if (arg.IsText()) InvalidFormat(format);
            out += FormatNumber(arg.Number(), conversion, left, zero, width, precision);
        } else {
            InvalidFormat(format);
        }
    }
    return out;
}

} // namespace

std::string HvoFormat(std::string_view format, std::initializer_list<THvoFormatArg> args)
{
    return FormatArgs(format, args.begin(), args.end());
}

std::string HvoVisibleText(std::string_view text)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        if (byte >= 0x20 && byte != 0x7F) {
            out += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else {
            out += "\\x";
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

namespace {

std::string BuildMessage(int nativeCode, std::string_view componentName, const std::initializer_list<THvoFormatArg>* args)
{
    const char* message = HvoMessageText(HvoMessageIndexOf(nativeCode));
    std::string text;
    if (args) {
        // The names and paths among the arguments are shown with visible control characters.
        std::vector<THvoFormatArg> visible;
        visible.reserve(args->size());
        for (const THvoFormatArg& arg : *args)
            visible.push_back(arg.IsText() ? THvoFormatArg(HvoVisibleText(arg.Text())) : arg);
        text = FormatArgs(message, visible.data(), visible.data() + visible.size());
    } else {
        text = message;
    }
    if (!componentName.empty()) text = std::string(componentName) + ": " + text;
    std::string number = HvoFormat("%5d", {nativeCode});
    for (char& ch : number)
        if (ch == ' ') ch = '0';
    return text + " - Native error: " + number;
}

} // namespace

EHvoException::EHvoException(std::string message, int nativeCode)
    : platform::Exception(message), ErrorCode(HvoMessageIndexOf(nativeCode)), NativeError(nativeCode),
      message_(std::move(message))
{
}

EHvoException::EHvoException(int nativeCode, std::string_view componentName)
    : EHvoException(BuildMessage(nativeCode, componentName, nullptr), nativeCode)
{
}

EHvoException::EHvoException(int nativeCode, std::string_view componentName, std::initializer_list<THvoFormatArg> args)
    : EHvoException(BuildMessage(nativeCode, componentName, &args), nativeCode)
{
}

EHvoException::~EHvoException() = default;

EHvoException EHvoException::Create(int nativeCode, std::string_view componentName)
{
    return EHvoException(nativeCode, componentName);
}

EHvoException EHvoException::CreateFmt(int nativeCode, std::string_view componentName,
                                       std::initializer_list<THvoFormatArg> args)
{
    return EHvoException(nativeCode, componentName, args);
}

EHvoZlibError::EHvoZlibError(int result) : platform::Exception("error " + std::to_string(result)), Result(result) {}

EHvoZlibError::~EHvoZlibError() = default;
