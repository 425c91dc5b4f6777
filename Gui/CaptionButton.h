#pragma once
// A push button whose caption wraps onto further lines when it is wider than the button,
// as the panel's tall buttons were drawn for ("Warm Reboot" on two lines).

#include <QPushButton>

class CaptionButton final : public QPushButton
{
    Q_OBJECT

public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
