#include "Gui/RepaintThrottle.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

RepaintThrottle::RepaintThrottle(QWidget &window) : QObject(&window), m_window(window)
{
    setObjectName(QStringLiteral("repaintThrottle"));
    m_deferred.setSingleShot(true);
    m_deferred.setTimerType(Qt::PreciseTimer);
    connect(&m_deferred, &QTimer::timeout, this, &RepaintThrottle::paintDeferred);
    window.installEventFilter(this);
}

bool RepaintThrottle::eventFilter(QObject *watched, QEvent *event)
{
    // An update request makes the window paint what its widgets marked dirty. Turned
    // away, it leaves that region to grow until the deferred request paints it all.
    if (watched != &m_window || event->type() != QEvent::UpdateRequest || m_painting)
        return false;
    if (m_deferred.isActive())
        return true;
    const std::chrono::milliseconds since{m_sincePaint.isValid() ? m_sincePaint.elapsed() : kFrameInterval.count()};
    if (since >= kFrameInterval) {
        m_sincePaint.start();
        return false;
    }
    m_deferred.start(kFrameInterval - since);
    return true;
}

void RepaintThrottle::paintDeferred()
{
    m_sincePaint.start();
    m_painting = true;
    QEvent request(QEvent::UpdateRequest);
    QCoreApplication::sendEvent(&m_window, &request);
    m_painting = false;
}
