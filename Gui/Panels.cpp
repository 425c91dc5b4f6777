#include "Gui/Panels.h"

#include "Gui/CaptionButton.h"
#include "Gui/GlyphLine.h"
#include "Gui/ReadbackBox.h"
#include "Gui/SwitchBox.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>
#include <map>

namespace {

const QColor kGlyphGreen(0, 192, 0);

int toPixel(int twips)
{
    return static_cast<int>(std::lround(twips / 15.0));
}

QString text(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

QFont glyphFont()
{
    QFont font(QStringLiteral("MS Sans Serif"), 18, QFont::Bold);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

template <typename Box> Box *makeLineEdit(const ControlSpec &row, QWidget *parent)
{
    auto *box = new Box(text(row.text), parent);
    if (row.maxLength > 0)
        box->setMaxLength(row.maxLength);
    box->setAlignment(row.alignLeft ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
    return box;
}

QWidget *makeControl(const ControlSpec &row, QWidget *parent)
{
    switch (row.kind) {
    case ControlKind::GroupBox:
        return new QGroupBox(text(row.text), parent);
    case ControlKind::SetpointField:
    case ControlKind::TextField:
        return makeLineEdit<QLineEdit>(row, parent);
    case ControlKind::ReadbackBox:
        return makeLineEdit<ReadbackBox>(row, parent);
    case ControlKind::Switch:
        return new SwitchBox(text(row.text), parent);
    case ControlKind::CheckBox:
        return new QCheckBox(text(row.text), parent);
    case ControlKind::Button: {
        auto *button = new CaptionButton(text(row.text), parent);
        // Outside a dialog a button takes Enter as its own press only when autoDefault.
        button->setAutoDefault(true);
        return button;
    }
    case ControlKind::GlyphLabel: {
        auto *label = new QLabel(text(row.text), parent);
        label->setFont(glyphFont());
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, kGlyphGreen);
        label->setPalette(palette);
        return label;
    }
    case ControlKind::Console: {
        auto *console = new QPlainTextEdit(parent);
        console->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        console->setTabChangesFocus(true);
        return console;
    }
    }
    return nullptr;
}

using ControlsByName = std::map<std::string_view, QWidget *>;

// The compile-time checks of Panels.h leave only a control built as another class than
// its kind promises; that stops the program here, with its name, rather than later.
template <typename T> T *built(const ControlsByName &controls, std::string_view name)
{
    const auto it = controls.find(name);
    T *control = it == controls.end() ? nullptr : qobject_cast<T *>(it->second);
    if (!control) {
        qFatal("The window has no control %.*s of class %s", static_cast<int>(name.size()), name.data(),
               T::staticMetaObject.className());
    }
    return control;
}

void applyTabOrder(const ControlsByName &controls)
{
    QWidget *previous = nullptr;
    for (std::string_view name : kTabOrder) {
        QWidget *widget = controls.at(name);
        if (!(widget->focusPolicy() & Qt::TabFocus))
            continue;
        if (previous)
            QWidget::setTabOrder(previous, widget);
        previous = widget;
    }
}

} // namespace

QRect toPixels(Twips twips)
{
    return {toPixel(twips.left), toPixel(twips.top), toPixel(twips.width), toPixel(twips.height)};
}

Controls buildControls(QWidget &client)
{
    ControlsByName controls;
    for (const ControlSpec &row : kControls) {
        QWidget *parent = row.parent.empty() ? &client : controls.at(row.parent);
        QWidget *control = makeControl(row, parent);
        controls.emplace(row.name, control);
        control->setObjectName(text(row.name));
        control->setGeometry(toPixels(row.at));
        if (!row.tooltip.empty())
            control->setToolTip(text(row.tooltip));
        if (row.kind == ControlKind::GlyphLabel) {
            // Sized to its text so the glyph shows whole, from the table's top-left corner.
            control->adjustSize();
        }
    }
    for (const GlyphLineSpec &row : kGlyphLines) {
        const QLine line(toPixel(row.x1), toPixel(row.y1), toPixel(row.x2), toPixel(row.y2));
        auto *glyph = new GlyphLine(line, kGlyphGreen, controls.at(row.parent));
        glyph->setObjectName(text(row.name));
    }
    applyTabOrder(controls);

    Controls typed{
        built<QPlainTextEdit>(controls, "txtMsg"), built<QLineEdit>(controls, "txtIP"),
        built<QLineEdit>(controls, "txtPort"),     built<QCheckBox>(controls, "chkOnTop"),
        built<CaptionButton>(controls, "cmdEcho"), {}, {}, {}, {},
    };
    for (std::size_t i = 0; i < kReadbackBoxes.size(); ++i)
        typed.readbacks[i] = built<ReadbackBox>(controls, kReadbackBoxes[i]);
    for (std::size_t i = 0; i < kSwitchBoxes.size(); ++i)
        typed.switches[i] = built<SwitchBox>(controls, kSwitchBoxes[i]);
    for (std::size_t i = 0; i < kSetpoints.size(); ++i) {
        typed.setpoints[i] = {built<QLineEdit>(controls, kSetpoints[i].field),
                              built<CaptionButton>(controls, kSetpoints[i].button)};
    }
    for (std::size_t i = 0; i < kFixedButtons.size(); ++i)
        typed.fixedButtons[i] = built<CaptionButton>(controls, kFixedButtons[i].control);
    return typed;
}
