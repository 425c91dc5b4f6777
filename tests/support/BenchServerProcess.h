#pragma once
// NorvaneBench as a child process on a file database of its own, for tests and benchmarks:
// started on a port of its own, ready once every device answers a ping, killed with the object.

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTcpSocket>

class BenchServerProcess final
{
public:
    struct Device {
        QString name;             // lab/bench/1
        QStringList properties;   // as the file has them after "name->": "Port: 4000"
    };

    // `extraLines` go into the database file as they are, e.g. an attribute's property.
    BenchServerProcess(QString program, const QString &folder, const QList<Device> &devices,
                       const QStringList &extraLines = {}, QString instance = QStringLiteral("test"));
    ~BenchServerProcess();
    BenchServerProcess(const BenchServerProcess &) = delete;
    BenchServerProcess &operator=(const BenchServerProcess &) = delete;

    // Starts it (again, on the same port and database) and waits, running this thread's
    // events, until the admin device and every device answer a ping. False when it ends
    // first or does not answer within `msecs`, with errorString() saying which.
    bool start(int msecs = 20000);
    void kill();
    // Sends it `signal` (0: none, it is ending already); true when it then ends by itself
    // with status 0 within `msecs`.
    bool endsCleanly(int signal, int msecs = 20000);

    // The name under which a client without a database finds `device`.
    QString deviceName(const QString &device) const;
    qint64 processId() const { return m_process.processId(); }
    QString errorString() const { return m_error; }

private:
    bool answers(const QString &device) const;

    QString m_program;
    QString m_instance;
    QString m_database;
    QStringList m_devices;
    QTcpSocket m_reserved;
    quint16 m_port = 0;
    QProcess m_process;
    QString m_error;
};
