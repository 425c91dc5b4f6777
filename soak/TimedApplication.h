#pragma once
// The soak's application object: it times every event the main thread delivers and keeps the costliest.

#include <QApplication>
#include <QElapsedTimer>
#include <QString>

#include <array>

namespace soak {

// Outermost events only, by thread time: what a long wait was spent on.
class TimedApplication final : public QApplication
{
public:
    struct Cost {
        double workMs = 0;
        double at = 0;
        QString what;
    };

    TimedApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // From the soak's start on, on its clock; start-up costs are not the soak's.
    void startMeasuring();
    const std::array<Cost, 5> &costliest() const { return m_costliest; }
    // "3.0 ms QTimer "" event 1 at 18.0 s; ...", the costliest first.
    QString costliestText() const;

private:
    QElapsedTimer m_clock;
    int m_depth = 0;
    std::array<Cost, 5> m_costliest{};
};

} // namespace soak
