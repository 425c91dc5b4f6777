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
                [this, field, command = row.command] { m_link.send(command, field->text()); });
    }
    for (const ActionSpec &row : kFixedButtons) {
        connect(control<QPushButton>(row.control), &QPushButton::clicked, this,
                [this, command = row.command] { m_link.send(command); });
    }
    for (const SwitchInfo &row : kSwitches) {
        auto *box = control<QCheckBox>(row.name);
        // A state written by a status frame, or before the first one, is not sent back.
        connect(box, &QCheckBox::toggled, this, [this, box, command = row.command] {
            if (m_tag == u"0")
                m_link.send(command, {}, box->isChecked());
        });
    }
}
