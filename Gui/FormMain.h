#pragma once
// The front panel's one window: instrument panels, connection fields, console, and the
// handlers that tie them to the device link.

#include "Gui/SetpointRules.h"
#include "commands/CommandFrames.h"
#include "link/Clock.h"
#include "link/DeviceSocket.h"
#include "status/StatusFrame.h"

#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <array>
#include <chrono>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class ReadbackBox;

class FormMain final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMain)

public:
    static constexpr std::chrono::milliseconds kKeepAliveInterval{4500};
    static constexpr double kSilenceLimitSeconds = 5.0;

    struct Options {
        Clock clock = Clock::system();
        bool runKeepAliveTimer = true;   // tests turn it off and call handleKeepAliveTick()
    };

    FormMain();
    explicit FormMain(Options options);
    ~FormMain() override;

    // Start-up: first connection request, then the first console line, then the timer.
    void load();

    // One tick of tmrKeepAlive: keep-alive, silence watchdog, console caret.
    void handleKeepAliveTick();

    // The panel update guard: empty before the first status frame, "1" while one is
    // applied, "0" afterwards.
    const QString &tag() const { return m_tag; }

    // The receive dispatch of one arrival whose bytes are already read; the socket's
    // data arrival runs it too. Public so that benchmarks drive the real path.
    void deliverArrival(QByteArrayView bytes);

    DeviceSocket &socket() { return Sock; }
    std::optional<double> lastDataTime() const { return m_lastDataTime; }
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

    // Link: supervision and receive dispatch.
    void openConnection();
    void handleConnected();
    void handleError(int number, const QString &description);
    void handleDataArrival(qint64 bytesAvailable);
    void appendConsoleLine(QStringView text);
    void setConsoleLine(QStringView text);

    // Status readback.
    void IncomingStatus(QByteArrayView frame);

    // Panel actions.
    void connectPanelActions();
    void sendCommand(Command command, QStringView fieldText = {}, bool checked = false);

    // Setpoint fields.
    void connectSetpointFields();
    void handleFieldChange(const SetpointField &field);
    void handleFieldGotFocus(const SetpointField &field);
    void handleFieldLostFocus(const SetpointField &field);
    void setDefaultButton(QPushButton *button);

    Clock m_clock;
    bool m_runKeepAliveTimer;
    DeviceSocket Sock;
    QTimer tmrKeepAlive;
    std::optional<double> m_lastDataTime;   // steady seconds of the last arrival; none yet
    bool m_reopenPending = false;
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
    std::array<ReadbackBox *, kReadbackCount> m_readbacks{};
    std::array<QCheckBox *, 6> m_switches{};
    std::array<SetpointField, 7> m_setpoints{};
};
