#include "link/Link.h"

QString text(const LinkEvent &event)
{
    switch (event.kind) {
    case LinkEvent::Kind::Opening:
        return QStringLiteral(" Opening connection...");
    case LinkEvent::Kind::Connected:
        return QStringLiteral(" Connected!");
    case LinkEvent::Kind::Error:
        return QStringLiteral(" Error: ") + event.detail;
    case LinkEvent::Kind::Lost:
        return QStringLiteral(" Lost connection, closed.  ");
    case LinkEvent::Kind::Reopening:
        return QStringLiteral(" Reopening...");
    case LinkEvent::Kind::Message:
        return u' ' + event.detail;
    }
    return event.detail;
}
