#include "Gui/FormMain.h"

#include "DefaultAddress.h"
#include "Gui/ConsoleView.h"
#include "Gui/Panels.h"
#include "Gui/ReadbackBox.h"
#include "Gui/RepaintThrottle.h"
#include "Gui/TrendsWindow.h"
#include "Gui/WindowPlacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include "Gui/norvane_icon.xpm"

namespace {

constexpr QSize kClientArea(381, 703);   // 5715 x 10545 twips

QFont windowFont()
{
    // The layout was drawn for the narrow 8-point MS Sans Serif; the usual Linux
    // fallback is wider and clips captions, so prefer its condensed cut.
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    return font;
}

} // namespace

FormMain::FormMain() : FormMain(Options{}) {}

FormMain::FormMain(Options options)
    : m_link(std::move(options), this), m_history(m_link.now(), QDateTime::currentDateTimeUtc())
{
    setObjectName(QStringLiteral("FormMain"));

    buildWindow();
    // A controller may report a thousand times a second; the screen shows sixty.
    new RepaintThrottle(*this);

    connectLink();
    connectPanelActions();
    connectSetpointFields();
    connectRecording();
    connectViews();
}

FormMain::~FormMain() = default;

void FormMain::buildWindow()
{
    setWindowTitle(QStringLiteral("Viruduzi"));
    setWindowIcon(QIcon(QPixmap(norvane_icon)));
    setFont(windowFont());

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    QMenu *mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    QAction *mnuExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientArea);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);   // the layout is fixed; so is the window

    buildControls(*client);
    applyTabOrder(*client);

    txtMsg = control<QPlainTextEdit>("txtMsg");
    txtIP = control<QLineEdit>("txtIP");
    txtPort = control<QLineEdit>("txtPort");
    txtIP->setText(QStringLiteral(NORVANE_CONTROLLER_IP));
    txtMsg->installEventFilter(this);
    limitConsole(*txtMsg);

    auto *chkOnTop = control<QCheckBox>("chkOnTop");
    QPalette titleText = chkOnTop->palette();
    titleText.setColor(QPalette::Window, titleText.color(QPalette::HighlightedText));
    chkOnTop->setPalette(titleText);
    chkOnTop->setAutoFillBackground(true);
    connect(chkOnTop, &QCheckBox::toggled, this, &FormMain::toggleOnTop);

    for (std::size_t i = 0; i < kReadbackBoxes.size(); ++i)
        m_readbacks[i] = control<ReadbackBox>(kReadbackBoxes[i]);
    for (std::size_t i = 0; i < kSwitches.size(); ++i)
        m_switches[i] = control<QCheckBox>(kSwitches[i].name);

    control<QPushButton>("cmdEcho")->setFocus();
}

void FormMain::load()
{
    m_link.start();
}

void FormMain::toggleOnTop(bool checked)
{
    setStaysOnTop(*this, checked);
}

void FormMain::closeEvent(QCloseEvent *event)
{
    // File, Exit, the close box and the system menu all end here; nothing is asked or saved.
    m_recorder.stop();
    m_link.close();
    if (m_trends)
        m_trends->close();
    event->accept();
}

void FormMain::keyPressEvent(QKeyEvent *event)
{
    // Text boxes and check boxes pass Enter on; the window's default button takes it.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    QWidget *focus = focusWidget();
    if (enter && (qobject_cast<QLineEdit *>(focus) || qobject_cast<QCheckBox *>(focus))) {
        if (m_defaultButton)
            m_defaultButton->click();
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

bool FormMain::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == txtMsg && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        txtMsg->clear();
        return false;
    }
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
        // Switching to another application or opening the menu is no move between controls.
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            return QMainWindow::eventFilter(watched, event);
        for (const SetpointField &field : m_setpoints) {
            if (watched != field.box)
                continue;
            if (event->type() == QEvent::FocusIn)
                handleFieldGotFocus(field);
            else
                handleFieldLostFocus(field);
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
