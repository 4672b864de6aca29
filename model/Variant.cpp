#include "model/Variant.h"

#include "platform/DecimalSeparator.h"
#include "platform/Exceptions.h"
#include "platform/Format.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

// A number taken out of a variant: exact in 64 bits, or a double.
struct Number {
    bool isDouble = false;
    int64_t i = 0;
    double d = 0;

    double AsDouble() const { return isDouble ? d : static_cast<double>(i); }
};

[[noreturn]] void ConversionError(VariantKind from, const char* to)
{
    throw platform::EConvertError(
        platform::Format("Could not convert variant of type (%s) into type (%s)", Variant::KindName(from), to));
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

double RoundHalfEven(double x)
{
    const double r = std::round(x); // half away from zero
    if (std::fabs(x - std::trunc(x)) == 0.5) return 2.0 * std::round(x / 2.0);
    return r;
}

std::optional<Number> ParseNumber(std::string_view text)
{
    if (auto i = TryStrToInt(text)) return Number{false, *i, 0};
    if (auto d = TryStrToFloat(text)) return Number{true, 0, *d};
    return std::nullopt;
}

} // namespace

struct VariantAccess {
    // The variant's whole number: a flag as 0 or 1, an integer as it is; none for the
    // other kinds.
    static std::optional<int64_t> Whole(const Variant& v)
    {
        return std::visit(
            [](const auto& x) -> std::optional<int64_t> {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_integral_v<T>)
                    return static_cast<int64_t>(x);
                else
                    return std::nullopt;
            },
            v.value_);
    }

    // The variant as a number; a text that is no number raises the conversion
    // error into `target`.
    static Number ToNumber(const Variant& v, const char* target)
    {
        return std::visit(
            [&](const auto& x) -> Number {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<T, std::monostate>) {
                    return Number{};
                } else if constexpr (std::is_same_v<T, bool>) {
                    return Number{false, x ? 1 : 0, 0};
                } else if constexpr (std::is_same_v<T, double>) {
                    return Number{true, 0, x};
                } else if constexpr (std::is_same_v<T, std::string>) {
                    if (auto n = ParseNumber(x)) return *n;
                    ConversionError(VariantKind::String, target);
                } else {
                    return Number{false, static_cast<int64_t>(x), 0};
                }
            },
            v.value_);
    }
};

const std::string& Variant::Str() const
{
    static const std::string empty;
    if (const auto* s = std::get_if<std::string>(&value_)) return *s;
    return empty;
}

const char* Variant::KindName(VariantKind kind)
{
    switch (kind) {
    case VariantKind::Empty: return "Empty";
    case VariantKind::Bool: return "Boolean";
    case VariantKind::Int8: return "ShortInt";
    case VariantKind::UInt8: return "Byte";
    case VariantKind::Int16: return "Smallint";
    case VariantKind::UInt16: return "Word";
    case VariantKind::Int32: return "Integer";
    case VariantKind::UInt32: return "Cardinal";
    case VariantKind::Int64: return "Int64";
    case VariantKind::Double: return "Double";
    case VariantKind::String: return "String";
    }
    return "Unknown";
}

int32_t Variant::ToInt32() const
{
    const Number n = VariantAccess::ToNumber(*this, "Integer");
    if (n.isDouble) {
        const double r = RoundHalfEven(n.d);
        if (!(r >= -2147483648.0 && r <= 2147483647.0)) ConversionError(Kind(), "Integer");
        return static_cast<int32_t>(r);
    }
    if (n.i < std::numeric_limits<int32_t>::min() || n.i > std::numeric_limits<int32_t>::max())
        ConversionError(Kind(), "Integer");
    return static_cast<int32_t>(n.i);
}

int64_t Variant::ToInt64() const
{
    const Number n = VariantAccess::ToNumber(*this, "Int64");
    if (n.isDouble) {
        const double r = RoundHalfEven(n.d);
        // 2^63 is exact as a double; everything below it converts.
        if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0)) ConversionError(Kind(), "Int64");
        return static_cast<int64_t>(r);
    }
    return n.i;
}

double Variant::ToDouble() const { return VariantAccess::ToNumber(*this, "Double").AsDouble(); }

float Variant::ToSingle() const
{
    const double d = VariantAccess::ToNumber(*this, "Single").AsDouble();
    if (std::isfinite(d) && std::fabs(d) > static_cast<double>(std::numeric_limits<float>::max()))
        ConversionError(Kind(), "Single");
    return static_cast<float>(d);
}

std::string Variant::ToString() const
{
    return std::visit(
        [](const auto& x) -> std::string {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return {};
            } else if constexpr (std::is_same_v<T, bool>) {
                return x ? "True" : "False";
            } else if constexpr (std::is_same_v<T, double>) {
                return FloatToStr(x);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return x;
            } else {
                char buf[24];
                const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<int64_t>(x));
                return std::string(buf, r.ptr);
            }
        },
        value_);
}

std::partial_ordering Variant::CompareTo(const Variant& other) const
{
    // Two whole numbers (a flag counts as 0 or 1), the usual case, compare as such.
    const std::optional<int64_t> wa = VariantAccess::Whole(*this);
    if (wa) {
        if (const std::optional<int64_t> wb = VariantAccess::Whole(other)) return *wa <=> *wb;
    }
    const bool textual = (IsString() && (other.IsString() || other.IsEmpty())) ||
                         (other.IsString() && IsEmpty());
    if (textual) {
        const int c = Str().compare(other.Str());
        return c < 0 ? std::partial_ordering::less
                     : (c > 0 ? std::partial_ordering::greater : std::partial_ordering::equivalent);
    }
    const Number a = VariantAccess::ToNumber(*this, "Double");
    const Number b = VariantAccess::ToNumber(other, "Double");
    if (a.isDouble || b.isDouble) return a.AsDouble() <=> b.AsDouble();
    return a.i <=> b.i;
}

std::string FloatToStr(double value)
{
    if (std::isnan(value)) return "NAN";
    if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
    if (value == 0) return "0";

    // d.dddddddddddddde[+-]xx: 15 significant digits, correctly rounded.
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    const std::string_view sci(buf, static_cast<size_t>(r.ptr - buf));

    std::string out;
    size_t pos = 0;
    if (sci[0] == '-') {
        out += '-';
        pos = 1;
    }
    const size_t ePos = sci.find('e');
    std::string digits;
    for (size_t i = pos; i < ePos; ++i)
        if (sci[i] != '.') digits += sci[i];
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();

    int exponent = 0;
    std::string_view expText = sci.substr(ePos + 1);
    if (!expText.empty() && expText[0] == '+') expText.remove_prefix(1);
    std::from_chars(expText.data(), expText.data() + expText.size(), exponent);

    const char sep = platform::DecimalSeparator();
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += sep;
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent); // an int: no "+", no leading zeros
        return out;
    }
    if (exponent >= 0) {
        const size_t intDigits = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out.append(digits, 0, intDigits);
            out += sep;
            out.append(digits, intDigits, std::string::npos);
        }
        return out;
    }
    out += '0';
    out += sep;
    out.append(static_cast<size_t>(-exponent - 1), '0');
    out += digits;
    return out;
}

std::string FormatFixed(double value, int decimals)
{
    if (!std::isfinite(value)) return FloatToStr(value);
    decimals = std::max(decimals, 0);
    // A double has at most 309 integer digits; the rest is the decimals.
    std::string out(static_cast<size_t>(decimals) + 330, '\0');
    const auto r = std::to_chars(out.data(), out.data() + out.size(), value, std::chars_format::fixed, decimals);
    out.resize(static_cast<size_t>(r.ptr - out.data()));
    if (const size_t point = out.find('.'); point != std::string::npos) out[point] = platform::DecimalSeparator();
    return out;
}

std::optional<int64_t> TryStrToInt(std::string_view text)
{
    text = Trim(text);
    if (!text.empty() && text[0] == '+') {
        text.remove_prefix(1);
        if (!text.empty() && text[0] == '-') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    int64_t v = 0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return std::nullopt;
    return v;
}

std::optional<double> TryStrToFloat(std::string_view text)
{
    text = Trim(text);
    const char sep = platform::DecimalSeparator();
    std::string s;
    s.reserve(text.size());
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        if (text[i] == '-') s += '-';
        ++i;
    }
    // Mantissa: digits with at most one separator, at least one digit.
    bool digit = false, point = false;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            digit = true;
            s += c;
        } else if ((c == '.' || c == sep) && !point) {
            point = true;
            s += '.';
        } else {
            break;
        }
    }
    if (!digit) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        s += 'e';
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) s += text[i++];
        bool expDigit = false;
        for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
            expDigit = true;
            s += text[i];
        }
        if (!expDigit) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    double v = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return std::nullopt;
    return v;
}
