// The window's side of the device link: the address it reads, and the console lines,
// status frames and caret moves it shows.

#include "Gui/ConsoleView.h"
#include "Gui/FormMain.h"

#include <QLineEdit>
#include <QPlainTextEdit>

void FormMain::connectLink()
{
    m_link.setAddressSource([this] { return DeviceLink::Address{txtIP->text(), txtPort->text()}; });
    connect(&m_link, &DeviceLink::consoleCleared, txtMsg, &QPlainTextEdit::clear);
    connect(&m_link, &DeviceLink::logLine, this, [this](const QString &line) { appendToConsole(*txtMsg, line); });
    connect(&m_link, &DeviceLink::consoleCaretToEnd, this, [this] { moveCaretToEnd(*txtMsg); });
    connect(&m_link, &DeviceLink::statusArrived, this, &FormMain::IncomingStatus);
}
