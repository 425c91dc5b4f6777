#pragma once
// A status readback: a read-only line edit drawn flat and opaque, white or in the alarm
// colour, so that a new value repaints the box alone and nothing behind it.

#include <QColor>
#include <QLineEdit>
#include <QPalette>

#include <array>

class ReadbackBox final : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReadbackBox)

public:
    static QColor inRangeColour() { return {255, 255, 255}; }
    static QColor alarmColour() { return {255, 160, 160}; }

    ReadbackBox(const QString &text, QWidget *parent);

    bool alarm() const { return m_alarm; }
    // The palette's Base follows the flag, and the box paints from it. A palette changed
    // behind the box's back is put right too.
    void setAlarm(bool alarm);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_alarm = false;
    std::array<QPalette, 2> m_palettes;   // in range, alarm
};
