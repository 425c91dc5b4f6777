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
    // A flip from one prepared palette to the other shares it, which saves building a
    // palette on every flip; anything else (the first colour, a palette changed behind
    // the box's back) prepares both again from the palette the box has now.
    if (palette() != m_palettes[!alarm]) {
        for (const bool prepared : {false, true}) {
            m_palettes[prepared] = palette();
            m_palettes[prepared].setColor(QPalette::Base, prepared ? alarmColour() : inRangeColour());
        }
    }
    setPalette(m_palettes[alarm]);
}

void ReadbackBox::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_StyleSheetTarget)) {
        QLineEdit::paintEvent(event);   // a style sheet draws the whole box its own way
        return;
    }
    // The line edit fills its whole rectangle from the palette's Base, which follows the
    // flag. Over it, the outline the style gives the setpoint fields, without their
    // rounded corners, as four fills: a drawn rectangle costs three times as much.
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    const QColor outline = palette().color(QPalette::Window).darker(140);
    const int w = width();
    const int h = height();
    painter.fillRect(0, 0, w, 1, outline);
    painter.fillRect(0, h - 1, w, 1, outline);
    painter.fillRect(0, 1, 1, h - 2, outline);
    painter.fillRect(w - 1, 1, 1, h - 2, outline);
}
