#include "Gui/SwitchBox.h"

#include <QEvent>
#include <QPainter>
#include <QStyleOptionButton>

#include <algorithm>

namespace {

// Checked, unchecked, each hovered, pressed or focused: a handful; more means a style
// that keys its looks on something else, and the pictures start again.
constexpr std::size_t kMaxLooks = 16;

} // namespace

SwitchBox::SwitchBox(const QString &text, QWidget *parent) : QCheckBox(text, parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

bool SwitchBox::event(QEvent *event)
{
    const bool handled = QCheckBox::event(event);
    // A style polishes check boxes see-through; every pixel is still ours.
    if (event->type() == QEvent::Polish)
        setAttribute(Qt::WA_OpaquePaintEvent);
    return handled;
}

void SwitchBox::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    QStyleOptionButton option;
    initStyleOption(&option);
    auto look = std::find_if(m_looks.begin(), m_looks.end(), [&](const Look &candidate) {
        return candidate.state == option.state && candidate.text == option.text;
    });
    if (look == m_looks.end()) {
        if (m_looks.size() >= kMaxLooks)
            m_looks.clear();
        m_looks.push_back({option.state, option.text, drawn(option)});
        look = std::prev(m_looks.end());
    }
    QPainter(this).drawPixmap(0, 0, look->pixmap);
}

QPixmap SwitchBox::drawn(const QStyleOptionButton &option) const
{
    // What a see-through check box would show: the group box, then any sibling beneath the
    // box (chkHeater lies over a corner of a readback), then the check box itself. The
    // group boxes and the readback corners behind the switches never change.
    const qreal ratio = devicePixelRatio();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    if (QWidget *parent = parentWidget()) {
        parent->render(&pixmap, {}, QRegion(geometry()), QWidget::DrawWindowBackground);
        for (QObject *child : parent->children()) {
            if (child == this)
                break;
            auto *below = qobject_cast<QWidget *>(child);
            if (!below || !below->isVisible() || !below->geometry().intersects(geometry()))
                continue;
            const QRect covered = geometry().intersected(below->geometry());
            below->render(&pixmap, covered.topLeft() - pos(), QRegion(covered.translated(-below->pos())),
                          QWidget::DrawChildren);
        }
    } else {
        pixmap.fill(palette().color(QPalette::Window));   // a window of its own
    }
    // As QCheckBox::paintEvent draws, with the painter a widget starts with.
    QPainter painter(&pixmap);
    painter.setPen(palette().color(foregroundRole()));
    painter.setBrush(palette().brush(backgroundRole()));
    painter.setFont(font());
    style()->drawControl(QStyle::CE_CheckBox, &option, &painter, this);
    return pixmap;
}

void SwitchBox::changeEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::PaletteChange:
    case QEvent::FontChange:
    case QEvent::LayoutDirectionChange:
        m_looks.clear();
        break;
    case QEvent::StyleChange:
        m_looks.clear();
        setAttribute(Qt::WA_OpaquePaintEvent);   // the new style has polished it see-through
        break;
    default:
        break;
    }
    QCheckBox::changeEvent(event);
}

void SwitchBox::resizeEvent(QResizeEvent *event)
{
    m_looks.clear();
    QCheckBox::resizeEvent(event);
}

void SwitchBox::moveEvent(QMoveEvent *event)
{
    m_looks.clear();
    QCheckBox::moveEvent(event);
}
