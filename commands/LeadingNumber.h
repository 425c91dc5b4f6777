#pragma once
// The number a text begins with, as the setpoint fields and command encoders read it.

#include <QStringView>

// Blanks, tabs and line feeds are skipped anywhere in the text. Then an optional sign,
// digits with at most one period (whatever the locale) and an optional exponent
// (E or D, optional sign, digits); or &H / &O followed by hexadecimal / octal digits.
// Reading stops at the first character that cannot continue the number; no number
// gives 0. An exponent beyond the range of a double gives +/-infinity.
double leadingNumber(QStringView text);
