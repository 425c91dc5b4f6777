#pragma once
// A real panel against a simulated controller in a child process, for the benchmarks
// that need the whole program: end to end over loopback, and idle.

#include "Gui/FormMain.h"

#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>

#include <memory>

namespace bench {

// norvane-sim on a free port; stopped with the object.
class SimProcess
{
public:
    SimProcess(const QString &program, const QStringList &arguments)
    {
        m_process.setProgram(program);
        m_process.setArguments(QStringList{QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--quiet")}
                               + arguments);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        const QRegularExpression listening(QStringLiteral("^listening on [^:]+:(\\d+)"));
        while (m_process.waitForReadyRead(5000)) {
            const QRegularExpressionMatch match = listening.match(QString::fromLatin1(m_process.readLine()));
            if (match.hasMatch()) {
                m_port = match.captured(1).toUShort();
                return;
            }
        }
        qFatal("norvane-sim did not start listening");
    }

    ~SimProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

    quint16 port() const { return m_port; }

private:
    QProcess m_process;
    quint16 m_port = 0;
};

// The panel as main() makes it, on the real clock with its timer, pointed at `port`.
inline std::unique_ptr<FormMain> connectedPanel(quint16 port)
{
    auto panel = std::make_unique<FormMain>();
    panel->findChild<QLineEdit *>(QStringLiteral("txtPort"))->setText(QString::number(port));
    panel->load();
    panel->show();
    return panel;
}

} // namespace bench
