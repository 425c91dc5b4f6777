#pragma once
// A straight decorative line, 4 px wide, drawn between two points of its parent.

#include <QColor>
#include <QLine>
#include <QWidget>

class GlyphLine final : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kWidth = 4;

    // `line` is in the parent's coordinates; the widget covers just its bounding box.
    GlyphLine(QLine line, QColor colour, QWidget *parent);

    QLine line() const { return m_line; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QLine m_line;
    QColor m_colour;
};
