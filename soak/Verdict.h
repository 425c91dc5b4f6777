#pragma once
// The soak's checks, and how the link must have behaved in its fault mode.

#include "soak/ConsoleWatch.h"
#include "soak/FaultModes.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace soak {

class Verdict
{
public:
    explicit Verdict(bool ci) : m_ci(ci) {}

    // Fails the run, except under --ci, where it is only reported.
    void check(const QString &name, bool ok, const QString &detail);
    // Fails the run even under --ci.
    void require(const QString &name, bool ok, const QString &detail);

    // Says every check in the order made; the names of those that fail the run.
    QStringList report() const;

private:
    struct Check {
        QString name;
        bool ok;
        QString detail;
        bool asserted;
    };

    bool m_ci;
    std::vector<Check> m_checks;
};

// What the run saw of the link.
struct LinkRecord {
    Mode mode;
    double end = 0;              // seconds since the soak began
    double faultEnd = 0;         // when the faulty simulator was stopped; `end` when it never is
    std::vector<ConsoleLine> lines;
    std::vector<double> frames;  // when each status frame was applied
    double relistenAt = -1;      // when the well-behaved simulator listened; -1 if it never did
    quint16 port = 0;
    QString simDied;             // empty unless a simulator ended on its own
    int keepAlives = 0;
    QStringList unasked;         // what the panel sent besides keep-alives
};

struct LinkFigures {
    int reconnects = 0;
    int faultFrames = 0;
    int recoveryFrames = 0;
};

// Adds the checks on lines, cycle, frames, recovery, simulator and what was sent.
LinkFigures judgeLink(const LinkRecord &record, Verdict &verdict);

int framesBetween(const std::vector<double> &frames, double from, double to);

} // namespace soak
