// Applies one status frame to the readbacks and switches, under the panel update guard.

#include "Gui/FormMain.h"
#include "Gui/ReadbackBox.h"

#include <QCheckBox>

namespace {

// Rewriting an equal text would still move the caret and cost a relayout.
void writeText(QLineEdit &box, const QString &text)
{
    if (box.text() != text)
        box.setText(text);
}

} // namespace

void FormMain::IncomingStatus(const StatusReadings &readings)
{
    m_tag = QStringLiteral("1");

    const auto showReadback = [&](std::size_t i) {
        const int value = readings.values[i];
        RenderedReadback &rendered = m_rendered[i];
        if (rendered.value != value)
            rendered = {value, readbackText(kReadbacks[i].format, value)};
        writeText(*m_readbacks[i], rendered.text);
        if (kReadbacks[i].range != RangeRule::None)
            m_readbacks[i]->setAlarm(!inRange(kReadbacks[i].range, value));
    };
    for (std::size_t i = 0; i < kReadbacksBeforeSwitches; ++i)
        showReadback(i);
    // Each switch whose state changes raises its Click here, nested, with the guard up.
    for (std::size_t i = 0; i < m_switches.size(); ++i)
        m_switches[i]->setChecked((readings.flags & kSwitches[i].mask) != 0);
    for (std::size_t i = kReadbacksBeforeSwitches; i < kReadbacks.size(); ++i)
        showReadback(i);

    m_tag = QStringLiteral("0");
}
