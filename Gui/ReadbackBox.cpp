#include "Gui/ReadbackBox.h"

#include <QPainter>

ReadbackBox::ReadbackBox(const QString &text, QWidget *parent) : QLineEdit(text, parent)
{
    setReadOnly(true);
    // Out of the Tab cycle, but a click still focuses it so a value can be copied.
    setFocusPolicy(Qt::ClickFocus);
    // Readbacks show digits, a point, a degree sign and fixed prefixes, which draw the
    // same unshaped; skipping the shaper halves the cost of every new text.
    QFont unshaped;
    unshaped.setStyleStrategy(QFont::PreferNoShaping);
    setFont(unshaped);
    // Every pixel is ours: a repaint need not draw the group box behind the box first.
    setFrame(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setTextMargins(1, 1, 1, 1);
}

void ReadbackBox::setAlarm(bool alarm)
{
    const QColor colour = alarm ? alarmColour() : inRangeColour();
    if (m_alarm == alarm && palette().color(QPalette::Base) == colour)
        return;
    m_alarm = alarm;
    QPalette base = palette();
    base.setColor(QPalette::Base, colour);
    setPalette(base);
}

void ReadbackBox::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_StyleSheetTarget)) {
        QLineEdit::paintEvent(event);   // a style sheet draws the whole box its own way
        return;
    }
    {
        QPainter painter(this);
        painter.fillRect(rect(), m_alarm ? alarmColour() : inRangeColour());
    }
    QLineEdit::paintEvent(event);
    // The outline the style gives the setpoint fields, without their rounded corners;
    // drawn last, as the line edit fills its whole rectangle when it has no frame.
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::Window).darker(140));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
