// Connection supervision: console lines for the socket's events, the keep-alive and
// the silence watchdog that closes and reopens a connection gone quiet.

#include "Gui/FormMain.h"
#include "link/Console.h"

#include <QLineEdit>
#include <QPlainTextEdit>

void FormMain::openConnection()
{
    // The fields are read afresh at every attempt, so an edit counts from the next one.
    Sock.connectToHost(txtIP->text(), txtPort->text());
}

void FormMain::handleConnected()
{
    // The silence clock is left alone: a connection counts as silent until its first byte.
    appendConsoleLine(u" Connected!");
}

void FormMain::handleError(int, const QString &description)
{
    // Only logged; the watchdog restores the connection at a later tick.
    appendConsoleLine(QString(QStringLiteral(" Error: ") + description));
}

void FormMain::handleKeepAliveTick()
{
    if (Sock.state() == DeviceSocket::Connected)
        sendCommand(Command::KeepAlive);

    const double now = m_clock.steadySeconds();
    const bool silent = !m_lastDataTime || *m_lastDataTime + kSilenceLimitSeconds < now;
    if (silent) {
        m_lastDataTime.reset();
        const DeviceSocket::State state = Sock.state();
        if (state != DeviceSocket::Connecting && state != DeviceSocket::Closed) {
            appendConsoleLine(u" Lost connection, closed.  ");
            m_reopenPending = true;
        }
        Sock.close();
        if (Sock.state() == DeviceSocket::Closed) {
            openConnection();
            if (m_reopenPending) {
                appendConsoleLine(u" Reopening...");
                m_reopenPending = false;
            }
        }
    }
    moveCaretToEnd(*txtMsg);
}
