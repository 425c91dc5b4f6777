#pragma once
// The front panel's one window: instrument panels, connection fields, console, and the
// handlers that tie them to the device link it subscribes to.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "link/DeviceLink.h"
#include "status/StatusFrame.h"

#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;

class FormMain final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMain)

public:
    using Options = DeviceLink::Options;

    FormMain();
    explicit FormMain(Options options);
    ~FormMain() override;

    // Start-up: first connection request, then the first console line, then the timer.
    void load();

    // One tick of tmrKeepAlive: keep-alive, silence watchdog, console caret.
    void handleKeepAliveTick() { m_link.handleKeepAliveTick(); }

    // The panel update guard: empty before the first status frame, "1" while one is
    // applied, "0" afterwards.
    const QString &tag() const { return m_tag; }

    // The receive dispatch of one arrival whose bytes are already read.
    void deliverArrival(QByteArrayView bytes) { m_link.deliverArrival(bytes); }

    // The link the window subscribes to; trends and recorders subscribe beside it.
    DeviceLink &link() { return m_link; }
    DeviceSocket &socket() { return m_link.socket(); }
    std::optional<double> lastDataTime() const { return m_link.lastDataTime(); }
    QPushButton *defaultButton() const { return m_defaultButton; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct SetpointField {
        QLineEdit *box;
        FieldFamily family;
        QPushButton *button;
    };

    template <typename T> T *control(std::string_view name) const
    {
        return findChild<T *>(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    }
    void buildWindow();
    void toggleOnTop(bool checked);

    // The link's console lines and the address it reads.
    void connectLink();

    // Status readback.
    void IncomingStatus(const StatusReadings &readings);

    // Panel actions.
    void connectPanelActions();

    // Setpoint fields.
    void connectSetpointFields();
    void handleFieldChange(const SetpointField &field);
    void handleFieldGotFocus(const SetpointField &field);
    void handleFieldLostFocus(const SetpointField &field);
    void setDefaultButton(QPushButton *button);

    DeviceLink m_link;
    QString m_tag;
    QPointer<QPushButton> m_defaultButton;

    // Rendering a reading is pure, so an unchanged reading reuses the text it gave last.
    struct RenderedReadback {
        int value = -1;
        QString text;
    };
    std::array<RenderedReadback, kReadbackCount> m_rendered{};

    QPlainTextEdit *txtMsg = nullptr;
    QLineEdit *txtIP = nullptr;
    QLineEdit *txtPort = nullptr;
    std::array<QLineEdit *, kReadbackCount> m_readbacks{};
    std::array<QCheckBox *, kSwitchCount> m_switches{};
    std::array<SetpointField, 7> m_setpoints{};
};
