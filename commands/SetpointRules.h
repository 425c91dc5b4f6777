#pragma once
// Editing rules of the setpoint fields, as pure functions of the text.

#include "instrument/Bench.h"

#include <QString>
#include <QStringView>

// The text a box settles on after its Change rule has run, with every nested Change
// that the rule's own rewrites raise. Returns the input unchanged when nothing is rewritten.
QString settleText(FieldFamily family, QStringView text);

// LostFocus of the injection current field: a value outside 0 to its guard becomes "0"
// (the nested Change then applies the current rule to it).
QString injectionLimit(QStringView text);
