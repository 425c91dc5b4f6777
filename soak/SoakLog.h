#pragma once
// The soak's log on standard output, one line per call, written by a thread of its own.

#include <QString>

namespace soak {

void say(const QString &text);

} // namespace soak
