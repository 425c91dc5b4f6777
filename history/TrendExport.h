#pragma once
// The trend history written out in the recording's CSV format: raw rows where the full
// rate is kept, bucket rows where only buckets are, message rows between them.

#include "history/TrendHistory.h"

#include <QIODevice>

// Rows go out oldest first; elapsed_s counts from the oldest row. Returns the rows
// written besides the header, or -1 when the device refused a write.
qint64 writeHistoryCsv(const TrendHistory &history, QIODevice &device);
