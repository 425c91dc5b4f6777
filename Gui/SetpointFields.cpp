// The setpoint fields' editing rules and the window's default button.

#include "Gui/CaptionButton.h"
#include "Gui/FormMain.h"

#include <QLineEdit>
#include <QPushButton>

void FormMain::connectSetpointFields()
{
    for (std::size_t i = 0; i < kSetpoints.size(); ++i) {
        const SetpointSpec &row = kSetpoints[i];
        const Controls::Setpoint &controls = m_controls.setpoints[i];
        m_setpoints[i] = {controls.field, row.family, controls.button, row.command};
        QLineEdit *box = m_setpoints[i].box;
        box->installEventFilter(this);
        connect(box, &QLineEdit::textChanged, this, [this, i] { handleFieldChange(m_setpoints[i]); });
    }
}

void FormMain::handleFieldChange(const SetpointField &field)
{
    // Writing the settled text raises the nested Change, which finds nothing left to do.
    const QString settled = settleText(field.family, field.box->text());
    if (settled != field.box->text())
        field.box->setText(settled);
}

void FormMain::handleFieldGotFocus(const SetpointField &field)
{
    setDefaultButton(field.button);
}

void FormMain::handleFieldLostFocus(const SetpointField &field)
{
    if (field.command == Command::SetInjCurrent) {
        const QString limited = injectionLimit(field.box->text());
        if (limited != field.box->text())
            field.box->setText(limited);
    } else if (field.family == FieldFamily::Dac && m_defaultButton == field.button) {
        setDefaultButton(nullptr);
    }
}

void FormMain::setDefaultButton(QPushButton *button)
{
    if (m_defaultButton == button)
        return;
    if (m_defaultButton)
        m_defaultButton->setDefault(false);
    m_defaultButton = button;
    if (button)
        button->setDefault(true);   // the toolkit's default-button look
}
