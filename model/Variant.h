#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

// The value of fields and editors: a number of one of the stored widths, a check
// box's Boolean, a UTF-8 text, or nothing.
//
// Numbers compare by value whatever their kind; a text met by a number is read as a
// number first. Texts of floating values use the user's decimal separator, and
// reading accepts that separator and ".". Nothing here depends on the process locale.
enum class VariantKind : uint8_t {
    Empty,
    Bool,
    Int8,
    UInt8,
    Int16,
    UInt16,
    Int32,
    UInt32,
    Int64,
    Double,
    String,
};

class Variant {
public:
    Variant() = default;
    Variant(bool v) : value_(v) {}
    Variant(int8_t v) : value_(v) {}
    Variant(uint8_t v) : value_(v) {}
    Variant(int16_t v) : value_(v) {}
    Variant(uint16_t v) : value_(v) {}
    Variant(int32_t v) : value_(v) {}
    Variant(uint32_t v) : value_(v) {}
    Variant(int64_t v) : value_(v) {}
    Variant(double v) : value_(v) {}
    Variant(float v) : value_(static_cast<double>(v)) {}
    Variant(const char* v) : value_(std::string(v)) {}
    Variant(std::string v) : value_(std::move(v)) {}
    Variant(std::string_view v) : value_(std::string(v)) {}

    VariantKind Kind() const { return static_cast<VariantKind>(value_.index()); }
    bool IsEmpty() const { return Kind() == VariantKind::Empty; }
    bool IsString() const { return Kind() == VariantKind::String; }
    // Any kind but Empty and String.
    bool IsNumber() const { return !IsEmpty() && !IsString(); }

    // The text of a String variant (empty for other kinds).
    const std::string& Str() const;

    // Conversions raise platform::EConvertError "Could not convert variant of type
    // (%s) into type (%s)" when the value has no number or lies outside the target.
    // Doubles round half to even; a text is read as an integer, else as a decimal
    // that is then rounded. Empty counts as 0, a Boolean as 1 or 0.
    int32_t ToInt32() const;
    int64_t ToInt64() const;
    double ToDouble() const;
    // Through a double; a finite value beyond the single's range raises.
    float ToSingle() const;
    // Integers in decimal, doubles as FloatToStr, Booleans "True"/"False", Empty "".
    std::string ToString() const;

    // Value comparison: numbers (and Booleans, and Empty as 0) by value, integers
    // exactly, as doubles when either side is a double; String against String
    // exactly and case-sensitively (Empty as ""); a String against a number is read
    // as a number first and raises the conversion error when it is none. A NaN is
    // unordered against everything.
    std::partial_ordering CompareTo(const Variant& other) const;
    bool Equals(const Variant& other) const { return CompareTo(other) == std::partial_ordering::equivalent; }

    // "Integer", "Word", "String" ...: the names used in conversion messages.
    static const char* KindName(VariantKind kind);

private:
    std::variant<std::monostate, bool, int8_t, uint8_t, int16_t, uint16_t, int32_t, uint32_t, int64_t,
                 double, std::string>
        value_;

    friend struct VariantAccess;
};

// Text of a floating value: 15 significant digits, no trailing zeros, the user's
// decimal separator; fixed notation from 0.00001 up to below 1E15, otherwise
// E notation without "+" and without leading zeros ("1E20", "1,5E-7"). NaN and
// infinities read "NAN", "INF" and "-INF".
std::string FloatToStr(double value);

// Text of a floating value with a fixed number of decimals, as Format("%.Nf") writes
// it: correctly rounded, the user's decimal separator, no grouping, no exponent
// ("1.2346", "-0.5000", "1000000.0000"); no separator at 0 decimals (fewer are taken as
// 0). NaN and infinities read as FloatToStr writes them.
std::string FormatFixed(double value, int decimals);

// Reads a decimal number written with the user's separator or "." (surrounding
// blanks allowed, an exponent allowed). None when the text is not a number.
std::optional<double> TryStrToFloat(std::string_view text);

// Reads a whole decimal number (sign allowed, surrounding blanks allowed).
std::optional<int64_t> TryStrToInt(std::string_view text);
