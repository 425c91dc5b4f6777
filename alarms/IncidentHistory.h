#pragma once
// An incident capture read back as a trend history, for a Trends window of its own.

#include "history/TrendHistory.h"

#include <QString>

#include <memory>

// The history's steady times are the capture's elapsed_s. Null, with `problem` saying
// why, when the file cannot be read or holds no status row.
std::unique_ptr<TrendHistory> loadIncidentHistory(const QString &path, QString *problem);
