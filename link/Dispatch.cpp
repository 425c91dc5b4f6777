// Receive dispatch: each arrival is one frame or nothing; and the console it writes to.

#include "Gui/FormMain.h"
#include "link/Console.h"

#include <QPlainTextEdit>

void FormMain::handleDataArrival(qint64 bytesAvailable)
{
    deliverArrival(Sock.read(bytesAvailable));
}

void FormMain::deliverArrival(QByteArrayView bytes)
{
    // Every arrival holds off the watchdog, also one that is then dropped.
    m_lastDataTime = m_clock.steadySeconds();
    switch (classifyArrival(bytes)) {
    case Arrival::Status:
        IncomingStatus(bytes);
        break;
    case Arrival::Message:
        appendConsoleLine(QString(u' ' + messageText(bytes)));
        break;
    case Arrival::Dropped:
        break;
    }
}

void FormMain::appendConsoleLine(QStringView text)
{
    appendToConsole(*txtMsg, consoleLine(m_clock.timeOfDay(), text));
}

void FormMain::setConsoleLine(QStringView text)
{
    txtMsg->clear();
    appendConsoleLine(text);
}
