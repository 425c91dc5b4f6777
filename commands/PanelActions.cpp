// What each button and switch of the instrument panels sends.

#include "Gui/FormMain.h"
#include "Gui/Panels.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

void FormMain::connectPanelActions()
{
    for (const SetpointSpec &spec : kSetpoints) {
        auto *field = control<QLineEdit>(spec.field);
        connect(control<QPushButton>(spec.button), &QPushButton::clicked, this,
                [this, field, command = spec.command] { sendCommand(command, field->text()); });
    }
    for (const ActionSpec &spec : kFixedButtons) {
        connect(control<QPushButton>(spec.control), &QPushButton::clicked, this,
                [this, command = spec.command] { sendCommand(command); });
    }
    for (const ActionSpec &spec : kSwitchActions) {
        auto *box = control<QCheckBox>(spec.control);
        // A state written by a status frame, or before the first one, is not sent back.
        connect(box, &QCheckBox::toggled, this, [this, box, command = spec.command] {
            if (m_tag == u"0")
                sendCommand(command, {}, box->isChecked());
        });
    }
}

void FormMain::sendCommand(Command command, QStringView fieldText, bool checked)
{
    // A frame that cannot be built or written is lost without a word.
    if (const std::optional<QByteArray> frame = encodeCommand(command, fieldText, checked))
        Sock.send(*frame);
}
