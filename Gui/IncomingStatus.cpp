// Applies one status frame to the readbacks and switches, under the panel update guard.

#include "Gui/FormMain.h"
#include "Gui/ReadbackBox.h"
#include "Gui/SwitchBox.h"

void FormMain::IncomingStatus(const StatusReadings &readings)
{
    m_guard = PanelGuard::Applying;

    const ReadbackDisplay &display = m_renderer.render(readings);
    const auto showReadback = [&](std::size_t i) {
        m_controls.readbacks[i]->showText(display.texts[i]);
        if (kReadbacks[i].range != RangeRule::None)
            m_controls.readbacks[i]->setAlarm(display.alarm[i]);
    };
    for (std::size_t i = 0; i < kReadbacksBeforeSwitches; ++i)
        showReadback(i);
    // Each switch whose state changes raises its Click here, nested, with the guard up.
    for (std::size_t i = 0; i < m_controls.switches.size(); ++i)
        m_controls.switches[i]->setChecked(display.checked[i]);
    for (std::size_t i = kReadbacksBeforeSwitches; i < kReadbacks.size(); ++i)
        showReadback(i);

    m_guard = PanelGuard::Applied;
}
