#pragma once
// A switch: a check box that paints every pixel of its own, from a picture of each look it
// has shown, so that a flip repaints the box alone and not the group box behind it.

#include <QCheckBox>
#include <QPixmap>
#include <QStyle>

#include <vector>

class QStyleOptionButton;

class SwitchBox final : public QCheckBox
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SwitchBox)

public:
    SwitchBox(const QString &text, QWidget *parent);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;

private:
    // One look: the box in one state (checked, hovered, focused...) over what lies behind it.
    struct Look
    {
        QStyle::State state;
        QString text;
        QPixmap pixmap;
    };

    QPixmap drawn(const QStyleOptionButton &option) const;

    std::vector<Look> m_looks;
};
