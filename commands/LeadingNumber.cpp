#include "commands/LeadingNumber.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace {

// Beyond this an exponent only decides between infinity and zero, so it may saturate.
constexpr std::int64_t kExponentCap = 1'000'000'000;
// 0.d * 10^e with d's first digit non-zero: above this it overflows, below it underflows.
constexpr std::int64_t kDecimalExponentLimit = 400;

constexpr bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
constexpr bool isDecimal(char16_t c) { return c >= u'0' && c <= u'9'; }
constexpr bool isOctal(char16_t c) { return c >= u'0' && c <= u'7'; }
constexpr bool isHex(char16_t c)
{
    return isDecimal(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
constexpr bool isExponentMark(char16_t c) { return c == u'E' || c == u'e' || c == u'D' || c == u'd'; }

// Walks the text, stepping over blanks wherever they stand.
class Cursor {
public:
    explicit Cursor(QStringView text) : m_text(text) {}

    char16_t peek()
    {
        while (m_pos < m_text.size() && isBlank(m_text[m_pos].unicode()))
            ++m_pos;
        return m_pos < m_text.size() ? m_text[m_pos].unicode() : u'\0';
    }
    void advance() { ++m_pos; }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

double signedInfinity(bool negative)
{
    return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
}

double readDecimal(Cursor &in)
{
    bool negative = false;
    if (in.peek() == u'+' || in.peek() == u'-') {
        negative = in.peek() == u'-';
        in.advance();
    }

    // value = 0.digits * 10^pointExponent, leading zeros folded into the exponent
    std::string digits;
    std::int64_t pointExponent = 0;
    bool anyDigit = false;
    bool seenPoint = false;
    for (char16_t c = in.peek();; c = in.peek()) {
        if (isDecimal(c)) {
            anyDigit = true;
            if (digits.empty() && c == u'0') {
                if (seenPoint)
                    --pointExponent;
            } else {
                digits += static_cast<char>(c);
                if (!seenPoint)
                    ++pointExponent;
            }
        } else if (c == u'.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        in.advance();
    }
    if (!anyDigit)
        return 0.0;

    std::int64_t exponent = 0;
    if (isExponentMark(in.peek())) {
        in.advance();
        bool exponentNegative = false;
        if (in.peek() == u'+' || in.peek() == u'-') {
            exponentNegative = in.peek() == u'-';
            in.advance();
        }
        for (char16_t c = in.peek(); isDecimal(c); c = in.peek()) {
            exponent = std::min(exponent * 10 + (c - u'0'), kExponentCap);
            in.advance();
        }
        if (exponentNegative)
            exponent = -exponent;
    }

    if (digits.empty())
        return negative ? -0.0 : 0.0;
    const std::int64_t scale = pointExponent + exponent;
    if (scale > kDecimalExponentLimit)
        return signedInfinity(negative);
    if (scale < -kDecimalExponentLimit)
        return negative ? -0.0 : 0.0;

    const std::string text = "0." + digits + 'e' + std::to_string(scale);
    double value = 0.0;
    const auto parsed = std::from_chars(text.data(), text.data() + text.size(), value);
    if (parsed.ec == std::errc::result_out_of_range)
        value = scale > 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

// Octal digits regrouped as hexadecimal ones, so that one exact conversion serves both.
std::string octalToHex(std::string_view octal)
{
    constexpr std::string_view kHexDigits = "0123456789abcdef";
    std::string reversed;
    unsigned bits = 0;
    int bitCount = 0;
    for (auto it = octal.rbegin(); it != octal.rend(); ++it) {
        bits |= static_cast<unsigned>(*it - '0') << bitCount;
        bitCount += 3;
        for (; bitCount >= 4; bitCount -= 4, bits >>= 4)
            reversed += kHexDigits[bits & 0xF];
    }
    if (bitCount > 0)
        reversed += kHexDigits[bits];
    return {reversed.rbegin(), reversed.rend()};
}

double readRadix(Cursor &in, bool hex)
{
    std::string digits;
    for (char16_t c = in.peek(); hex ? isHex(c) : isOctal(c); c = in.peek()) {
        if (!digits.empty() || c != u'0')
            digits += static_cast<char>(c);
        in.advance();
    }
    if (digits.empty())
        return 0.0;
    if (!hex)
        digits = octalToHex(digits);

    double value = 0.0;
    const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                        std::chars_format::hex);
    if (parsed.ec == std::errc::result_out_of_range)
        return std::numeric_limits<double>::infinity();
    return value;
}

} // namespace

double leadingNumber(QStringView text)
{
    Cursor in(text);
    if (in.peek() != u'&')
        return readDecimal(in);

    in.advance();
    switch (in.peek()) {
    case u'H':
    case u'h':
        in.advance();
        return readRadix(in, true);
    case u'O':
    case u'o':
        in.advance();
        return readRadix(in, false);
    default:
        return 0.0;
    }
}
