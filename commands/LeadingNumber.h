#pragma once
// The number a text begins with, as the setpoint fields and command encoders read it.

#include <QStringView>

// Blanks, tabs and line feeds are skipped anywhere in the text. Then an optional sign,
// digits with at most one period (whatever the locale) and an optional exponent
// (E or D, optional sign, digits); or &H / &O followed by hexadecimal / octal digits.
// Reading stops at the first character that cannot continue the number; no number
// gives 0. An exponent beyond the range of a double gives +/-infinity, and one below
// it gives 0. Decimal texts are rounded once, correctly: "63.3" is the double 63.3.
// &H / &O digits are an unsigned value ("&HFFFF" is 65535) and take no sign in front:
// "-&H10" begins with no number and gives 0.
double leadingNumber(QStringView text);
