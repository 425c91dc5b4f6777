// The window's side of the link: its events as console lines, its supervision rounds as
// caret moves, and its status frames on the panels.

#include "Gui/ConsoleView.h"
#include "Gui/FormMain.h"

#include <QPlainTextEdit>

void FormMain::connectLink()
{
    connect(&m_link, &Link::happened, this, &FormMain::handleLinkEvent);
    connect(&m_link, &Link::supervised, this, [this] { moveCaretToEnd(*m_controls.txtMsg); });
    connect(&m_link, &Link::statusArrived, this, &FormMain::IncomingStatus);
}

void FormMain::handleLinkEvent(const LinkEvent &event)
{
    if (event.kind == LinkEvent::Kind::Opening)
        m_controls.txtMsg->clear();
    log(text(event));
}

void FormMain::log(const QString &text)
{
    appendToConsole(*m_controls.txtMsg, consoleLine(m_link.timeOfDay(), text));
}
