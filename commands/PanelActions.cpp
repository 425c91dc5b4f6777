// What each button and switch of the instrument panels sends.

#include "Gui/FormMain.h"
#include "Gui/Panels.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

void FormMain::connectPanelActions()
{
    for (const SetpointSpec &row : kSetpoints) {
        auto *field = control<QLineEdit>(row.field);
        connect(control<QPushButton>(row.button), &QPushButton::clicked, this,
                [this, field, command = row.command] { sendCommand(command, field->text()); });
    }
    for (const ActionSpec &row : kFixedButtons) {
        connect(control<QPushButton>(row.control), &QPushButton::clicked, this,
                [this, command = row.command] { sendCommand(command); });
    }
    for (const ActionSpec &row : kSwitchActions) {
        auto *box = control<QCheckBox>(row.control);
        // A state written by a status frame, or before the first one, is not sent back.
        connect(box, &QCheckBox::toggled, this, [this, box, command = row.command] {
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
