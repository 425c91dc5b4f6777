#pragma once
// Shared test fixtures: a fake clock, a real local controller on an ephemeral port,
// and a panel wired to both.

#include "Gui/TcpPanel.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSet>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <memory>

struct FakeClock {
    double now = 1000.0;
    Clock clock()
    {
        return {[this] { return now; }, [] { return QTime(12, 34, 56); }};
    }
};

// The controller end: accepts clients on 127.0.0.1, records what they send.
class FakeController final : public QObject
{
public:
    FakeController()
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *next = m_server.nextPendingConnection()) {
                ++m_connections;
                m_client = next;
                next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
                QObject::connect(next, &QTcpSocket::readyRead, this,
                                 [this, next] { m_received += next->readAll(); });
            }
        });
        m_server.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return m_server.serverPort(); }
    int connections() const { return m_connections; }
    QTcpSocket *client() const { return m_client; }
    QByteArray &received() { return m_received; }
    void stopListening() { m_server.close(); }

    bool waitForClient(int count = 1)
    {
        return QTest::qWaitFor([&] { return m_connections >= count && m_client; }, 5000);
    }

    // One write, flushed so that it travels as one segment.
    void send(const QByteArray &bytes)
    {
        m_client->write(bytes);
        m_client->flush();
    }

    void closeClient()
    {
        m_client->disconnectFromHost();
    }

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
    QByteArray m_received;
    int m_connections = 0;
};

inline QString findText(QObject &root, const char *name)
{
    if (auto *edit = root.findChild<QLineEdit *>(QString::fromLatin1(name)))
        return edit->text();
    return root.findChild<QPlainTextEdit *>(QString::fromLatin1(name))->toPlainText();
}

// A panel on a fake clock, its tick driven by the test, pointed at `port`.
inline std::unique_ptr<TcpPanel> makePanel(FakeClock &clock, quint16 port, bool load = true)
{
    auto panel = std::make_unique<TcpPanel>(TcpLink::Options{clock.clock(), false});
    panel->setAddress(panel->host(), QString::number(port));
    if (load)
        panel->load();
    return panel;
}

// The console's lines without their time stamps; a trailing empty line is dropped.
inline QStringList consoleTexts(FormMain &panel)
{
    QStringList lines = findText(panel, "txtMsg").split(u'\n');
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast();
    for (QString &line : lines) {
        if (line.size() >= 8 && line[2] == u':' && line[5] == u':')
            line.remove(0, 8);
    }
    return lines;
}

// A port on which nobody listens.
inline quint16 closedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

inline QByteArray statusFrame(std::uint8_t fill = 0x00)
{
    QByteArray frame(33, static_cast<char>(fill));
    frame[0] = static_cast<char>(0xA1);
    return frame;
}

// Names of the widgets that received a paint event while it watched.
class PaintWatch final : public QObject
{
public:
    PaintWatch() { QCoreApplication::instance()->installEventFilter(this); }
    QSet<QString> painted;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted.insert(watched->objectName());
        return false;
    }
};
