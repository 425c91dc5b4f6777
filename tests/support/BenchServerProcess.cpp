#include "tests/support/BenchServerProcess.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

#include <tango.h>

BenchServerProcess::BenchServerProcess(QString program, const QString &folder, const QList<Device> &devices,
                                       const QStringList &extraLines, QString instance)
    : m_program(std::move(program)), m_instance(std::move(instance))
{
    // Bound, never listening: no one else gets the port while the server may come and go,
    // and the server binds it over, as both ask to reuse the address.
    m_reserved.bind(QHostAddress::LocalHost, 0, QAbstractSocket::ReuseAddressHint);
    m_port = m_reserved.localPort();
    m_database = QStringLiteral("%1/bench-%2.db").arg(folder).arg(m_port);
    QStringList names;
    QStringList lines;
    for (const Device &device : devices) {
        m_devices << device.name;
        names << u'"' + device.name + u'"';
        for (const QString &property : device.properties)
            lines << device.name + QStringLiteral("->") + property;
    }
    QFile file(m_database);
    if (file.open(QIODevice::WriteOnly)) {
        // A server with no device has no device line at all.
        if (!names.isEmpty())
            lines.prepend(QStringLiteral("NorvaneBench/%1/DEVICE/NorvaneBench: %2").arg(m_instance, names.join(u", ")));
        file.write((lines + extraLines).join(u'\n').toUtf8() + '\n');
    }
    // Its errors show with the caller's; what it prints is nobody's concern.
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // A test killed on its timeout takes its server with it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

BenchServerProcess::~BenchServerProcess()
{
    kill();
}

bool BenchServerProcess::start(int msecs)
{
    kill();
    m_error.clear();
    QStringList arguments{m_instance};
    // Tango's file database holds at least one device; without any, the server needs none.
    if (m_devices.isEmpty())
        arguments << QStringLiteral("-nodb");
    else
        arguments << QStringLiteral("-file=%1").arg(m_database);
    arguments << QStringLiteral("-ORBendPoint") << QStringLiteral("giop:tcp:127.0.0.1:%1").arg(m_port);
    m_process.start(m_program, arguments);
    const QDeadlineTimer deadline(msecs);
    QStringList waiting = QStringList{QStringLiteral("dserver/NorvaneBench/") + m_instance} + m_devices;
    while (!waiting.isEmpty()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QStringLiteral("%1 ended before it served %2").arg(m_program, waiting.front());
            return false;
        }
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("%1 did not answer in %2 ms").arg(waiting.front()).arg(msecs);
            return false;
        }
        if (answers(waiting.front()))
            waiting.removeFirst();
        else {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(20);
        }
    }
    return true;
}

bool BenchServerProcess::answers(const QString &device) const
{
    std::string name = deviceName(device).toStdString();
    try {
        Tango::DeviceProxy proxy(name);
        proxy.ping();
        return true;
    } catch (const Tango::DevFailed &) {
        return false;
    }
}

void BenchServerProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished();
}

bool BenchServerProcess::endsCleanly(int signal, int msecs)
{
    if (signal != 0)
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
    return m_process.waitForFinished(msecs) && m_process.exitStatus() == QProcess::NormalExit
           && m_process.exitCode() == 0;
}

QString BenchServerProcess::deviceName(const QString &device) const
{
    return QStringLiteral("tango://127.0.0.1:%1/%2#dbase=no").arg(m_port).arg(device);
}
