#include "Gui/FormMain.h"

#include "DefaultAddress.h"
#include "Gui/CaptionButton.h"
#include "Gui/ConsoleView.h"
#include "Gui/RepaintThrottle.h"
#include "Gui/WindowPlacement.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>

#include <limits>

#include "Gui/norvane_icon.xpm"

namespace {

constexpr QSize kClientArea(381, 703);   // 5715 x 10545 twips
const QString kWindowTitle = QStringLiteral("Viruduzi");

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

FormMain::FormMain(Link &link, QWidget *parent)
    : QMainWindow(parent), m_link(link), m_history(m_link.now(), QDateTime::currentDateTimeUtc())
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

FormMain::~FormMain()
{
    // The Trends window reads the history, a member that goes before the window's children.
    delete m_trends;
}

void FormMain::buildWindow()
{
    setWindowTitle(kWindowTitle);
    setWindowIcon(QIcon(QPixmap(norvane_icon)));
    setFont(windowFont());

    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setAutoFillBackground(true);

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);

    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientArea);
    setCentralWidget(client);
    layout()->setSizeConstraint(QLayout::SetFixedSize);   // the layout is fixed; so is the window

    m_controls = buildControls(*client);
    const QString builtIn = QStringLiteral(NORVANE_CONTROLLER_IP);
    m_controls.txtIP->setText(builtIn.isEmpty() ? QString::fromLatin1(kDefaultAddress) : builtIn);
    m_controls.txtPort->setText(QString::number(kDefaultPort));
    m_controls.txtMsg->installEventFilter(this);
    limitConsole(*m_controls.txtMsg);

    QCheckBox *chkOnTop = m_controls.chkOnTop;
    QPalette titleText = chkOnTop->palette();
    titleText.setColor(QPalette::Window, titleText.color(QPalette::HighlightedText));
    chkOnTop->setPalette(titleText);
    chkOnTop->setAutoFillBackground(true);
    connect(chkOnTop, &QCheckBox::toggled, this, &FormMain::toggleOnTop);

    m_controls.cmdEcho->setFocus();
}

void FormMain::load()
{
    m_link.start();
}

void FormMain::setAddress(const QString &host, const QString &port)
{
    m_controls.txtIP->setText(host);
    m_controls.txtPort->setText(port);
}

void FormMain::editAddress(LinkAddress &address)
{
    address = {host(), port()};
    connect(m_controls.txtIP, &QLineEdit::textChanged, this, [&address](const QString &text) {
        address.host = text;
    });
    connect(m_controls.txtPort, &QLineEdit::textChanged, this, [&address](const QString &text) {
        address.port = text;
    });
}

QString FormMain::host() const
{
    return m_controls.txtIP->text();
}

QString FormMain::port() const
{
    return m_controls.txtPort->text();
}

void FormMain::showAttachedDevice(const QString &device)
{
    setWindowTitle(QStringLiteral("%1 - %2").arg(kWindowTitle, device));
    const QString tip = QStringLiteral("Attached through the Tango device %1").arg(device);
    // The field holds an IP address's fifteen characters; a device name may be longer.
    m_controls.txtIP->setMaxLength(std::numeric_limits<int>::max());
    m_controls.txtIP->setText(device);
    m_controls.txtIP->setCursorPosition(0);   // a long name shows its host, not its tail
    m_controls.txtPort->clear();
    for (QLineEdit *field : {m_controls.txtIP, m_controls.txtPort}) {
        field->setEnabled(false);
        field->setToolTip(tip);
    }
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
    if (watched == m_controls.txtMsg && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        m_controls.txtMsg->clear();
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
