#pragma once
// One mode of the soak from start to verdict: the real panel, on its real clock and
// keep-alive timer, against norvane-sim, with a well-behaved simulator put in near the end.

#include "soak/MemoryMeter.h"
#include "soak/SoakSettings.h"
#include "soak/StallMeter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <memory>
#include <vector>

class TcpPanel;
class SimProcess;

namespace soak {

class ConsoleWatch;

class SoakRun final : public QObject
{
public:
    explicit SoakRun(Settings settings);
    ~SoakRun() override;

    // Ends the application with 0 when every check passed, 1 when one failed, 3 when
    // the simulator could not be run.
    void start();

private:
    double now() const { return m_clock.isValid() ? m_clock.nsecsElapsed() / 1e9 : 0; }

    void startSim(const QStringList &faultArgs, quint16 port);
    void simLine(const QString &line);
    void simListening(quint16 port);
    void simFailed(const QString &why);
    void simFinished(int code, QProcess::ExitStatus status);
    void restartSimWellBehaved();
    void relisten();

    void startPanel();
    void begin();
    void sample();
    void pressEscape();
    void finish();

    Settings m_settings;
    double m_recovery = 0;
    double m_restartAt = 0;
    double m_warmUp = 0;
    QElapsedTimer m_clock;

    std::unique_ptr<SimProcess> m_sim;
    quint16 m_port = 0;
    bool m_restarting = false;
    bool m_finishing = false;
    int m_exitCode = 0;
    int m_relistenAttempts = 0;
    double m_restartIssuedAt = -1;
    double m_relistenAt = -1;
    QString m_simDied;
    int m_keepAlives = 0;
    QStringList m_unasked;

    std::unique_ptr<TcpPanel> m_panel;
    std::unique_ptr<ConsoleWatch> m_console;   // after the panel: gone before it
    QTimer m_sampler;
    QTimer m_escaper;

    bool m_readbackWritten = false;
    std::vector<double> m_frames;
    qint64 m_arrivals = 0;
    qint64 m_statusSizedArrivals = 0;

    StallMeter m_stalls{m_clock};
    MemoryMeter m_memory;
    int m_samples = 0;
};

} // namespace soak
