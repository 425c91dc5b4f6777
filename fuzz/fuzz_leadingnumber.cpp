// Fuzzes leadingNumber with the input read as UTF-8 and as UTF-16: no crash, no NaN,
// the value the C library's correctly rounded strtod gives, and the invariances of blanks
// and of text after a character that cannot continue a number.

#include "commands/LeadingNumber.h"

#include <QString>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

namespace {

bool isBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n'; }
bool isDecimal(char16_t c) { return c >= u'0' && c <= u'9'; }
bool isHex(char16_t c) { return isDecimal(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F'); }
bool isOctal(char16_t c) { return c >= u'0' && c <= u'7'; }

// Equal down to the sign of zero.
bool same(double a, double b) { return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b); }

[[noreturn]] void fail(const char *what, QStringView text, double got, double expected)
{
    std::fprintf(stderr, "leadingNumber: %s\n  text (UTF-16 hex): %s\n  got %.17g, expected %.17g\n", what,
                 QByteArray(reinterpret_cast<const char *>(text.utf16()), text.size() * 2).toHex(' ').constData(),
                 got, expected);
    std::abort();
}

// The value the text's leading number has, worked out apart from the parser: the
// number's characters are picked out with blanks removed and handed to strtod, which
// rounds correctly. nullopt where no exact reference is at hand (octal beyond 64 bits).
std::optional<double> referenceValue(QStringView text)
{
    std::u16string s;
    for (QChar c : text) {
        if (!isBlank(c.unicode()))
            s += c.unicode();
    }
    std::size_t i = 0;
    const auto at = [&](std::size_t k) -> char16_t { return k < s.size() ? s[k] : u'\0'; };

    if (at(0) == u'&') {
        const char16_t radix = at(1);
        i = 2;
        std::string digits;
        if (radix == u'H' || radix == u'h') {
            for (; isHex(at(i)); ++i)
                digits += static_cast<char>(at(i));
            return digits.empty() ? 0.0 : std::strtod(("0x" + digits).c_str(), nullptr);
        }
        if (radix == u'O' || radix == u'o') {
            for (; isOctal(at(i)); ++i) {
                if (!digits.empty() || at(i) != u'0')
                    digits += static_cast<char>(at(i));
            }
            if (digits.size() > 21)
                return std::nullopt;
            return static_cast<double>(std::strtoull(digits.empty() ? "0" : digits.c_str(), nullptr, 8));
        }
        return 0.0;
    }

    std::string number;
    if (at(i) == u'+' || at(i) == u'-')
        number += static_cast<char>(at(i++));
    bool anyDigit = false;
    bool seenPoint = false;
    for (;; ++i) {
        if (isDecimal(at(i))) {
            anyDigit = true;
        } else if (at(i) == u'.' && !seenPoint) {
            seenPoint = true;
        } else {
            break;
        }
        number += static_cast<char>(at(i));
    }
    if (!anyDigit)
        return 0.0;
    const char16_t mark = at(i);
    if (mark == u'E' || mark == u'e' || mark == u'D' || mark == u'd') {
        std::string exponent = "e";
        ++i;
        if (at(i) == u'+' || at(i) == u'-')
            exponent += static_cast<char>(at(i++));
        bool anyExponentDigit = false;
        for (; isDecimal(at(i)); ++i) {
            exponent += static_cast<char>(at(i));
            anyExponentDigit = true;
        }
        if (anyExponentDigit)
            number += exponent;
    }
    return std::strtod(number.c_str(), nullptr);
}

QString inserted(QStringView text, qsizetype at, QChar c)
{
    QString result;
    result.reserve(text.size() + 1);
    result.append(text.first(at)).append(c).append(text.sliced(at));
    return result;
}

void checkText(QStringView text, unsigned seed)
{
    const double value = leadingNumber(text);
    if (std::isnan(value))
        fail("NaN", text, value, 0);

    if (const std::optional<double> expected = referenceValue(text); expected && !same(value, *expected))
        fail("differs from the correctly rounded value", text, value, *expected);

    const qsizetype size = text.size();
    const qsizetype positions[] = {0, size, size / 2, static_cast<qsizetype>(seed % (size + 1))};
    const QString blanks = QStringLiteral(" \t\n");
    for (const qsizetype at : positions) {
        const QString withBlank = inserted(text, at, blanks[at % 3]);
        if (const double v = leadingNumber(withBlank); !same(v, value))
            fail("a blank changed the value", withBlank, v, value);

        // 'x' can never continue a number, so nothing after it is read.
        const double head = leadingNumber(text.first(at));
        const QString cut = inserted(text, at, u'x');
        if (const double v = leadingNumber(cut); !same(v, head))
            fail("text after 'x' changed the value", cut, v, head);
    }

    qsizetype first = 0;
    while (first < size && isBlank(text[first].unicode()))
        ++first;
    if (first < size && (isDecimal(text[first].unicode()) || text[first] == u'.')) {
        const QString negated = u'-' + text.toString();
        if (const double v = leadingNumber(negated); !(v == -value))
            fail("a minus sign did more than negate", negated, v, -value);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const unsigned seed = size > 0 ? data[0] * 131u + data[size - 1] : 0;
    const auto bytes = reinterpret_cast<const char *>(data);
    checkText(QString::fromUtf8(bytes, static_cast<qsizetype>(size)), seed);

    QString utf16(static_cast<qsizetype>(size / 2), Qt::Uninitialized);
    for (std::size_t i = 0; i + 1 < size; i += 2)
        utf16[static_cast<qsizetype>(i / 2)] = QChar(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    checkText(utf16, seed);
    return 0;
}
