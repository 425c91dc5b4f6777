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

void Link::deliverFrame(Arrival kind, QByteArrayView bytes, double steadySeconds)
{
    switch (kind) {
    case Arrival::Status:
        emit statusFrameArrived(bytes);
        emit statusArrived(decodeStatusFrame(bytes), steadySeconds);
        break;
    case Arrival::Message: {
        const QString message = messageText(bytes);
        emit happened({LinkEvent::Kind::Message, message});
        emit messageArrived(message, steadySeconds);
        break;
    }
    case Arrival::Dropped:
        break;
    }
}
