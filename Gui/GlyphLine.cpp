#include "Gui/GlyphLine.h"

#include <QPainter>
#include <QPen>

GlyphLine::GlyphLine(QLine line, QColor colour, QWidget *parent)
    : QWidget(parent), m_line(line), m_colour(colour)
{
    constexpr int margin = kWidth / 2;
    const QRect box = QRect(line.p1(), line.p2()).normalized();
    setGeometry(box.adjusted(-margin, -margin, margin, margin));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void GlyphLine::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(m_colour, kWidth, Qt::SolidLine, Qt::FlatCap));
    painter.drawLine(m_line.translated(-pos()));
}
