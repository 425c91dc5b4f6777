#pragma once
// The front panel's one window: instrument panels, connection fields, console, and the
// handlers that tie them to the link it subscribes to, whatever carries that link.

#include "Gui/Panels.h"
#include "alarms/AlarmMonitor.h"
#include "commands/CommandFrames.h"
#include "commands/SetpointRules.h"
#include "recorder/Recorder.h"
#include "history/TrendHistory.h"
#include "link/Link.h"
#include "link/LinkAddress.h"
#include "status/StatusFrame.h"

#include <QMainWindow>
#include <QPointer>
#include <QPushButton>

#include <array>
#include <functional>
#include <optional>

class AlarmAttention;
class QLineEdit;
class QMenu;

// Not final: TcpPanel derives from it to put a TCP link of its own beneath it.
class FormMain : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormMain)

public:
    // The panel update guard: a switch written by a status frame, or before the first
    // one, is not sent back.
    enum class PanelGuard { BeforeFirstFrame, Applying, Applied };
    Q_ENUM(PanelGuard)

    // Subscribes to `link` first, before anything else does; the link outlives the window.
    explicit FormMain(Link &link, QWidget *parent = nullptr);
    ~FormMain() override;

    // Start-up: the link's start, which empties the console and writes its first line.
    void load();

    // The connection fields' texts, as typed.
    void setAddress(const QString &host, const QString &port);
    // From now on the connection fields edit `address`, which outlives the window; it
    // takes what they show at once.
    void editAddress(LinkAddress &address);
    QString host() const;
    QString port() const;

    // For a link through a control-system device: the title and the connection fields
    // name the device, and the fields, which no link reads then, cannot be edited.
    void showAttachedDevice(const QString &device);

    PanelGuard guard() const { return m_guard; }

    // The link the window subscribes to; trends and recorders subscribe beside it.
    Link &link() { return m_link; }
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

    // View → Alarms: the episodes of this run; the title and the menu entry say how many
    // are unacknowledged.
    AlarmMonitor &alarms() { return m_alarms; }
    void showAlarms();
    // Desktop notifications of first faults; off until the program turns them on.
    void setNotifications(bool on);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct SetpointField {
        QLineEdit *box;
        FieldFamily family;
        QPushButton *button;
        Command command;
    };

    void buildWindow();
    void toggleOnTop(bool checked);

    // The link's events as console lines, and its status frames on the panels.
    void connectLink();
    void handleLinkEvent(const LinkEvent &event);
    void log(const QString &text);   // stamped with the link's time of day

    // The trend history's subscription and the View menu.
    void connectViews();
    void connectAlarms();
    // File → Record… / Stop recording, and the recorder's console lines.
    void connectRecording();
    void toggleRecording();
    void updateAlarmCue();
    void showIncident(int episode);

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

    Link &m_link;
    TrendHistory m_history;
    QPointer<QWidget> m_trends;   // from the Trends plugin, once opened
    Recorder m_recorder{m_link};
    RecordingPathChooser m_chooseRecordingPath;
    AlarmMonitor m_alarms{m_link};
    AlarmAttention *m_attention = nullptr;
    QPointer<QWidget> m_alarmsWindow;
    QAction *mnuAlarms = nullptr;
    PanelGuard m_guard = PanelGuard::BeforeFirstFrame;
    QPointer<QPushButton> m_defaultButton;
    ReadbackRenderer m_renderer;

    Controls m_controls{};
    QMenu *mnuFile = nullptr;
    QAction *mnuExit = nullptr;
    std::array<SetpointField, kSetpoints.size()> m_setpoints{};
};
