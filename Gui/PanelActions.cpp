// What each button and switch of the instrument panels sends.

#include "Gui/CaptionButton.h"
#include "Gui/FormMain.h"
#include "Gui/SwitchBox.h"

#include <QLineEdit>

void FormMain::connectPanelActions()
{
    // A field whose count is out of range sends nothing.
    const auto send = [this](Command command, QStringView fieldText, bool checked) {
        if (const std::optional<CommandRequest> request = commandRequest(command, fieldText, checked))
            m_link.send(*request);
    };
    for (std::size_t i = 0; i < kSetpoints.size(); ++i) {
        QLineEdit *field = m_controls.setpoints[i].field;
        connect(m_controls.setpoints[i].button, &QPushButton::clicked, this,
                [send, field, command = kSetpoints[i].command] { send(command, field->text(), false); });
    }
    for (std::size_t i = 0; i < kFixedButtons.size(); ++i) {
        connect(m_controls.fixedButtons[i], &QPushButton::clicked, this,
                [send, command = kFixedButtons[i].command] { send(command, {}, false); });
    }
    for (std::size_t i = 0; i < kSwitches.size(); ++i) {
        SwitchBox *box = m_controls.switches[i];
        // A state written by a status frame, or before the first one, is not sent back.
        connect(box, &QCheckBox::toggled, this, [this, send, box, command = kSwitches[i].command] {
            if (m_guard == PanelGuard::Applied)
                send(command, {}, box->isChecked());
        });
    }
}
