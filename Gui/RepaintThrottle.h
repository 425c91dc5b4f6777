#pragma once
// Holds a window's repaints to one per display frame. Widgets still change at once and
// keep collecting what they need repainted; only the painting waits, by one frame at most.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>

class QWidget;

class RepaintThrottle final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RepaintThrottle)

public:
    static constexpr std::chrono::milliseconds kFrameInterval{16};

    // Watches `window`, a top-level widget, and is its child.
    explicit RepaintThrottle(QWidget &window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void paintDeferred();

    QWidget &m_window;
    QTimer m_deferred;
    QElapsedTimer m_sincePaint;
    bool m_painting = false;
};
