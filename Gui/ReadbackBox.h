#pragma once
// A status readback: a read-only line edit that draws itself, flat and opaque, white or in
// the alarm colour, its text from glyphs prepared once per text, so that a new value
// repaints the box alone and lays nothing out again.

#include <QCache>
#include <QColor>
#include <QGlyphRun>
#include <QLineEdit>
#include <QPalette>
#include <QRawFont>

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
    // The box is filled in the flag's colour. The palette is left alone: a palette change
    // costs an event and a style lookup, and the alarm flips as often as frames arrive.
    void setAlarm(bool alarm);
    QColor fillColour() const { return m_alarm ? alarmColour() : inRangeColour(); }

    // A new reading. A selection of the whole text stays whole, so that a value can be
    // copied while frames arrive; any other selection goes, as with setText(). An equal
    // text is left alone: rewriting it would move the caret and cost a relayout.
    void showText(const QString &text);

    // The text position nearest to `point` (box coordinates), as a mouse click places it.
    int positionAt(QPoint point);
    // Where character `index` is drawn, in box coordinates.
    QRect characterRect(int index);

protected:
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    // One text, ready to draw: its glyphs at their places on the line, and the x of
    // every position between characters.
    struct TextRun {
        QList<QGlyphRun> glyphs;
        QList<qreal> edges;
        qreal width = 0;
        qreal height = 0;   // the line's, which a taller fallback font makes taller
        int shift = 0;      // the line's rounded ascent above the metrics' ascent
        int boxHeight = 0;  // the height the line edit centres: the metrics', or the text's if taller
    };

    const TextRun &runFor(const QString &text);
    TextRun layOut(const QString &text) const;
    void prepareFont();
    QRect textArea();
    QPointF lineOrigin(const TextRun &run);
    void copyToSelectionClipboard();

    bool m_alarm = false;

    QCache<QString, TextRun> m_runs;
    bool m_fontReady = false;
    QRawFont m_unshaped;   // valid when the font skips shaping: glyphs come straight from it
    qreal m_lineAscent = 0;
    qreal m_lineHeight = 0;
    int m_lineShift = 0;   // as TextRun::shift, for a line in the box's own font
    int m_metricsHeight = 0;
    QRect m_contents;      // the style's contents rectangle; empty until asked for
    int m_anchor = 0;
};
