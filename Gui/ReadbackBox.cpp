#include "Gui/ReadbackBox.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>

namespace {

// The line edit's own padding between its text area and the text line.
constexpr int kHorizontalMargin = 2;
constexpr int kVerticalMargin = 1;
// Readings repeat (a value held, a noisy last digit); a few dozen texts cover them.
constexpr int kCachedTexts = 48;

// What a screen reader gets from a read-only line edit: an editable-text role marked
// read-only, the text as its value and through the text interface. The text-changed
// and selection events come from the line edit underneath, as before.
class ReadbackAccessible final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReadbackAccessible(ReadbackBox *box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text kind) const override
    {
        if (kind == QAccessible::Value)
            return box()->text();
        return QAccessibleWidget::text(kind);
    }

    QAccessible::State state() const override
    {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.selectableText = true;
        return state;
    }

    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex == 0 && box()->hasSelectedText()) {
            *startOffset = box()->selectionStart();
            *endOffset = *startOffset + box()->selectionLength();
        }
    }
    int selectionCount() const override { return box()->hasSelectedText() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            box()->deselect();
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            box()->setSelection(startOffset, endOffset - startOffset);
    }

    int cursorPosition() const override { return box()->cursorPosition(); }
    void setCursorPosition(int position) override { box()->setCursorPosition(position); }

    QString text(int startOffset, int endOffset) const override
    {
        return box()->text().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(box()->text().size()); }

    QRect characterRect(int offset) const override
    {
        const QRect rect = box()->characterRect(offset);
        return QRect(box()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = box()->mapFromGlobal(point);
        if (!box()->rect().contains(local))
            return -1;
        const int count = characterCount();
        for (int i = 0; i < count; ++i) {
            if (box()->characterRect(i).right() >= local.x())
                return i;
        }
        return count > 0 ? count - 1 : -1;
    }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        *startOffset = 0;
        *endOffset = offset < 0 ? 0 : characterCount();
        return {};
    }

private:
    ReadbackBox *box() const { return static_cast<ReadbackBox *>(widget()); }
};

QAccessibleInterface *readbackAccessible(const QString &className, QObject *object)
{
    if (className == QLatin1String("ReadbackBox") && object && object->isWidgetType())
        return new ReadbackAccessible(static_cast<ReadbackBox *>(object));
    return nullptr;
}

// Once per process, as the application starts; tried for the box's class name before the
// line edit's.
void installReadbackAccessible()
{
    QAccessible::installFactory(&readbackAccessible);
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(installReadbackAccessible)

ReadbackBox::ReadbackBox(const QString &text, QWidget *parent) : QLineEdit(text, parent), m_runs(kCachedTexts)
{
    setReadOnly(true);
    // Out of the Tab cycle, but a click still focuses it so a value can be copied.
    setFocusPolicy(Qt::ClickFocus);
    // Readbacks show digits, a point, a degree sign and fixed prefixes, which draw the
    // same unshaped; skipping the shaper lets a text's glyphs come straight from the font.
    QFont unshaped;
    unshaped.setStyleStrategy(QFont::PreferNoShaping);
    setFont(unshaped);
    // Every pixel is ours: a repaint need not draw the group box behind the box first.
    setFrame(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setTextMargins(1, 1, 1, 1);
    // The line edit asks to repaint only the parts it would have drawn; the box draws
    // its text elsewhere, so any change repaints it all.
    connect(this, &QLineEdit::textChanged, this, qOverload<>(&QWidget::update));
    connect(this, &QLineEdit::selectionChanged, this, qOverload<>(&QWidget::update));
}

void ReadbackBox::setAlarm(bool alarm)
{
    if (m_alarm == alarm)
        return;
    m_alarm = alarm;
    update();
}

void ReadbackBox::showText(const QString &text)
{
    const QString shown = this->text();
    if (shown == text)
        return;
    const bool whole = !shown.isEmpty() && selectionLength() == shown.size();
    setText(text);
    if (whole)
        selectAll();
}

void ReadbackBox::prepareFont()
{
    m_fontReady = true;
    m_runs.clear();
    m_unshaped = (font().styleStrategy() & QFont::PreferNoShaping) ? QRawFont::fromFont(font()) : QRawFont();
    // The line's height and ascent as the line edit's own layout has them.
    QTextLayout probe(QStringLiteral("0"), font());
    probe.beginLayout();
    const QTextLine line = probe.createLine();
    probe.endLayout();
    m_lineAscent = line.ascent();
    m_lineHeight = line.height();
    const QFontMetrics metrics = fontMetrics();
    m_lineShift = qRound(m_lineAscent) - metrics.ascent();
    m_metricsHeight = metrics.height();
}

ReadbackBox::TextRun ReadbackBox::layOut(const QString &text) const
{
    TextRun run;
    run.edges.reserve(text.size() + 1);
    if (m_unshaped.isValid()) {
        const QList<quint32> glyphs = m_unshaped.glyphIndexesForString(text);
        // One glyph per character, all in this font: placed by their advances alone.
        if (glyphs.size() == text.size() && !glyphs.contains(0)) {
            const QList<QPointF> advances = m_unshaped.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
            QList<QPointF> positions;
            positions.reserve(glyphs.size());
            qreal x = 0;
            run.edges.append(0);
            for (const QPointF &advance : advances) {
                positions.append(QPointF(x, m_lineAscent));
                x += advance.x();
                run.edges.append(x);
            }
            QGlyphRun glyphRun;
            glyphRun.setRawFont(m_unshaped);
            glyphRun.setGlyphIndexes(glyphs);
            glyphRun.setPositions(positions);
            run.glyphs.append(glyphRun);
            run.width = x;
            run.height = m_lineHeight;
            run.shift = m_lineShift;
            run.boxHeight = m_metricsHeight;
            return run;
        }
    }
    // Shaped, or partly in a fallback font: laid out as the line edit lays it out.
    QTextLayout layout(text, font());
    QTextOption option;
    option.setTextDirection(layoutDirection());
    option.setFlags(QTextOption::IncludeTrailingSpaces);
    layout.setTextOption(option);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    run.glyphs = layout.glyphRuns();
    run.width = line.naturalTextWidth();
    // A glyph from a taller fallback font makes the line taller; the line edit keeps the
    // baseline and centres the taller text.
    const QFontMetrics metrics = fontMetrics();
    run.height = line.height();
    run.shift = qRound(line.ascent()) - metrics.ascent();
    run.boxHeight = std::max(metrics.boundingRect(text).height(), m_metricsHeight);
    for (qsizetype i = 0; i <= text.size(); ++i)
        run.edges.append(line.cursorToX(static_cast<int>(i)));
    return run;
}

const ReadbackBox::TextRun &ReadbackBox::runFor(const QString &text)
{
    if (!m_fontReady)
        prepareFont();
    if (const TextRun *cached = m_runs.object(text))
        return *cached;
    auto *run = new TextRun(layOut(text));
    m_runs.insert(text, run);
    return *run;
}

QRect ReadbackBox::textArea()
{
    if (m_contents.isEmpty()) {
        QStyleOptionFrame option;
        initStyleOption(&option);
        m_contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
    }
    return m_contents.marginsRemoved(textMargins());
}

// Where the line edit would put the top left of its text line: centred, or against an
// edge, as the alignment says, with the same roundings.
QPointF ReadbackBox::lineOrigin(const TextRun &run)
{
    const QRect area = textArea();
    const Qt::Alignment align = QStyle::visualAlignment(layoutDirection(), alignment());
    int top = area.y() + (area.height() - run.boxHeight + 1) / 2;
    if (align & Qt::AlignTop)
        top = area.y() + kVerticalMargin;
    else if (align & Qt::AlignBottom)
        top = area.y() + area.height() - run.boxHeight - kVerticalMargin;
    const int lineWidth = area.width() - 2 * kHorizontalMargin;
    const int widthUsed = qRound(run.width) + 1;
    int scroll = 0;
    if (widthUsed > lineWidth)
        scroll = widthUsed - lineWidth;   // too long: its end shows, where setText leaves the cursor
    else if (align & Qt::AlignRight)
        scroll = widthUsed - lineWidth + 1;
    else if (align & Qt::AlignHCenter)
        scroll = (widthUsed - lineWidth) / 2;
    return QPointF(area.x() + kHorizontalMargin - scroll, top - run.shift);
}

void ReadbackBox::changeEvent(QEvent *event)
{
    QLineEdit::changeEvent(event);
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
        m_fontReady = false;
        m_contents = {};
        break;
    case QEvent::StyleChange:
        m_contents = {};
        break;
    default:
        break;
    }
}

void ReadbackBox::resizeEvent(QResizeEvent *event)
{
    m_contents = {};
    QLineEdit::resizeEvent(event);
}

void ReadbackBox::paintEvent(QPaintEvent *event)
{
    if (testAttribute(Qt::WA_StyleSheetTarget)) {
        QLineEdit::paintEvent(event);   // a style sheet draws the whole box its own way
        return;
    }
    const QString shown = text();
    const TextRun &run = runFor(shown);
    const QPointF origin = lineOrigin(run);
    const QPalette &colours = palette();
    QPainter painter(this);
    // The outline the style gives the setpoint fields, without their rounded corners, and
    // the fill inside it: two fills cost less than a drawn rectangle or four edges.
    painter.fillRect(rect(), colours.color(QPalette::Window).darker(140));
    painter.fillRect(rect().adjusted(1, 1, -1, -1), fillColour());

    // The line edit clips its text to the text area; a line well inside it needs no clip.
    // With a selection it clips the rest of the text to the line, from its left end on.
    const QRect area = textArea();
    const QRectF line(origin.x(), origin.y(), run.width, run.height);
    const bool selection = hasSelectedText();
    if (selection)
        painter.setClipRect(QRectF(line.left(), line.top(), area.right() + 1 - line.left(), line.height()) & QRectF(area));
    else if (!QRectF(area).adjusted(kHorizontalMargin, 0, -kHorizontalMargin, 0).contains(line))
        painter.setClipRect(area);
    painter.setPen(colours.color(QPalette::Text));
    for (const QGlyphRun &glyphs : run.glyphs)
        painter.drawGlyphRun(origin, glyphs);
    if (!selection)
        return;
    // The selection on whole pixels, as the line edit's layout draws it.
    const int start = std::clamp(selectionStart(), 0, static_cast<int>(shown.size()));
    const int end = std::clamp(start + selectionLength(), start, static_cast<int>(shown.size()));
    const QRect selected = QRectF(origin.x() + run.edges[start], origin.y(), run.edges[end] - run.edges[start],
                                  run.height).toAlignedRect().intersected(area);
    painter.setClipRect(selected);
    painter.fillRect(selected, colours.brush(QPalette::Highlight));
    painter.setPen(colours.color(QPalette::HighlightedText));
    for (const QGlyphRun &glyphs : run.glyphs)
        painter.drawGlyphRun(origin, glyphs);
}

int ReadbackBox::positionAt(QPoint point)
{
    const TextRun &run = runFor(text());
    const qreal x = point.x() - lineOrigin(run).x();
    const auto after = std::lower_bound(run.edges.cbegin(), run.edges.cend(), x);
    if (after == run.edges.cbegin())
        return 0;
    if (after == run.edges.cend())
        return static_cast<int>(run.edges.size() - 1);
    const auto index = static_cast<int>(after - run.edges.cbegin());
    return (*after - x) < (x - *(after - 1)) ? index : index - 1;
}

QRect ReadbackBox::characterRect(int index)
{
    const TextRun &run = runFor(text());
    const QPointF origin = lineOrigin(run);
    const auto last = static_cast<int>(run.edges.size() - 1);
    const int from = std::clamp(index, 0, last);
    const int to = std::min(from + 1, last);
    return QRectF(origin.x() + run.edges[from], origin.y(), run.edges[to] - run.edges[from], run.height)
        .toAlignedRect();
}

void ReadbackBox::copyToSelectionClipboard()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (hasSelectedText() && clipboard->supportsSelection())
        clipboard->setText(selectedText(), QClipboard::Selection);
}

void ReadbackBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    const int position = positionAt(event->position().toPoint());
    if (!(event->modifiers() & Qt::ShiftModifier) || !hasSelectedText())
        m_anchor = (event->modifiers() & Qt::ShiftModifier) ? cursorPosition() : position;
    if (position == m_anchor)
        setCursorPosition(position);
    else
        setSelection(m_anchor, position - m_anchor);
}

void ReadbackBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const int position = positionAt(event->position().toPoint());
    if (position == m_anchor)
        setCursorPosition(position);
    else
        setSelection(m_anchor, position - m_anchor);
}

void ReadbackBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        copyToSelectionClipboard();
}

void ReadbackBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // The word under the pointer, as a line edit selects it.
    const QString shown = text();
    const int position = positionAt(event->position().toPoint());
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, shown);
    words.setPosition(position);
    int start = position;
    int end = position;
    if (!words.isAtBoundary() || (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        end = static_cast<int>(words.toNextBoundary());
    words.setPosition(position);
    if (!words.isAtBoundary() || (words.boundaryReasons() & QTextBoundaryFinder::EndOfItem))
        start = static_cast<int>(words.toPreviousBoundary());
    if (start < 0 || end < 0 || start == end)
        return;
    m_anchor = start;
    setSelection(start, end - start);
    copyToSelectionClipboard();
}
