#pragma once
// The front panel's one window: instrument panels, connection fields, console, and the
// handlers that tie them to the device link it subscribes to.

#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "link/DeviceLink.h"
#include "link/Recorder.h"
#include "status/StatusFrame.h"
#include "status/TrendHistory.h"

#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <functional>
#include <optional>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class TrendsWindow;
class ReadbackBox;

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

    // The readings over time, collected from the start; View, Trends shows them.
    const TrendHistory &trendHistory() const { return m_history; }
    void showTrends();
    // File → Record… asks it for the file, suggesting a time-stamped name in the user's
    // documents; an empty answer cancels. The toolkit's save dialog unless replaced.
    using RecordingPathChooser = std::function<QString(QWidget *parent, const QString &suggested)>;
    void setRecordingPathChooser(RecordingPathChooser chooser) { m_chooseRecordingPath = std::move(chooser); }
    // Starts a recording as the menu would once a file is chosen; false if none started.
    bool startRecording(const QString &path) { return m_recorder.start(path); }
    Recorder &recorder() { return m_recorder; }

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

    // The trend history's subscription and the View menu.
    void connectViews();
    // File → Record… / Stop recording, and the recorder's console lines.
    void connectRecording();
    void toggleRecording();

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
    TrendHistory m_history;
    QPointer<TrendsWindow> m_trends;
    Recorder m_recorder{m_link};
    RecordingPathChooser m_chooseRecordingPath;
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
    std::array<QCheckBox *, kSwitchCount> m_switches{};
    std::array<SetpointField, 7> m_setpoints{};
};
