// A readback box draws its own text; what a read-only line edit gives an operator and a
// screen reader must still hold: its pixels, selecting, copying, its menu, its text.

#include "Gui/ReadbackBox.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QClipboard>
#include <QMenu>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// The line edit a readback box was, with the box's outline drawn over it.
QImage asLineEdit(const ReadbackBox &box)
{
    QLineEdit edit(box.text());
    edit.setReadOnly(true);
    edit.setFont(box.font());
    edit.setFrame(false);
    edit.setTextMargins(box.textMargins());
    edit.setAlignment(box.alignment());
    QPalette colours = box.palette();
    colours.setColor(QPalette::Base, box.fillColour());
    edit.setPalette(colours);
    edit.resize(box.size());
    if (box.hasSelectedText())
        edit.setSelection(box.selectionStart(), box.selectionLength());
    QImage image = edit.grab().toImage();
    QPainter painter(&image);
    painter.setPen(box.palette().color(QPalette::Window).darker(140));
    painter.drawRect(image.rect().adjusted(0, 0, -1, -1));
    return image;
}

QList<QAccessible::Event> *g_textEvents = nullptr;

void recordTextEvent(QAccessibleEvent *event)
{
    if (g_textEvents && (event->type() == QAccessible::TextUpdated || event->type() == QAccessible::TextSelectionChanged))
        *g_textEvents << event->type();
}

enum class Act { Drag, DoubleClick, Keys, MenuCopy, MenuSelectAll };

} // namespace

Q_DECLARE_METATYPE(Act)

class TestReadbackBox : public QObject
{
    Q_OBJECT

    std::unique_ptr<QWidget> m_window;
    ReadbackBox *m_box = nullptr;

    QPoint at(int gap) { return {m_box->characterRect(gap).left(), m_box->height() / 2}; }

private slots:
    void init()
    {
        m_window = std::make_unique<QWidget>();
        m_box = new ReadbackBox(QStringLiteral("PD: 45%"), m_window.get());
        m_box->setGeometry(10, 10, 67, 19);
        m_box->setAlignment(Qt::AlignCenter);
        m_window->show();
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
        QGuiApplication::clipboard()->setText(QStringLiteral("999"));
    }
    void cleanup() { m_window.reset(); }

    void drawsAsALineEdit_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("left");
        QTest::addColumn<bool>("alarm");
        QTest::addColumn<int>("selectFrom");
        QTest::addColumn<int>("selectLength");
        QTest::newRow("centred digits") << QStringLiteral("2457") << false << false << 0 << 0;
        QTest::newRow("degree sign, alarm") << QString::fromUtf8(" 1.92°") << false << true << 0 << 0;
        QTest::newRow("prefix, left, all selected") << QStringLiteral("TEC: 77") << true << false << 0 << 7;
        QTest::newRow("digits selected, alarm") << QStringLiteral("PD: 45%") << false << true << 4 << 2;
        QTest::newRow("glyph from a fallback font") << QString::fromUtf8("1 µA 中") << false << false << 0 << 0;
        QTest::newRow("empty") << QString() << false << false << 0 << 0;
    }
    void drawsAsALineEdit()
    {
        QFETCH(QString, text);
        QFETCH(bool, left);
        QFETCH(bool, alarm);
        QFETCH(int, selectFrom);
        QFETCH(int, selectLength);
        m_box->setAlignment(left ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter);
        m_box->showText(text);
        m_box->setAlarm(alarm);
        if (selectLength > 0)
            m_box->setSelection(selectFrom, selectLength);
        QCOMPARE(m_box->grab().toImage(), asLineEdit(*m_box));
    }

    // Every way of selecting and copying; none of them, nor any key, edits the text.
    void selectAndCopy_data()
    {
        QTest::addColumn<Act>("act");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QKeySequence>("keys");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("copied");
        const QString all = QStringLiteral("PD: 45%");
        const QKeySequence none;
        const auto keys = [](QKeySequence::StandardKey a, QKeySequence::StandardKey b) {
            return QKeySequence(QKeySequence(a)[0], QKeySequence(b)[0]);
        };
        QTest::newRow("drag over the digits") << Act::Drag << 4 << 6 << none << "45" << "999";
        QTest::newRow("drag backwards") << Act::Drag << 6 << 0 << none << "PD: 45" << "999";
        QTest::newRow("click selects nothing") << Act::Drag << 3 << 3 << none << "" << "999";
        QTest::newRow("double click, a word") << Act::DoubleClick << 5 << 5 << none << "45" << "999";
        QTest::newRow("Ctrl+A, Ctrl+C") << Act::Keys << 0 << 0 << keys(QKeySequence::SelectAll, QKeySequence::Copy)
                                        << all << all;
        QTest::newRow("Ctrl+A, cut") << Act::Keys << 0 << 0 << keys(QKeySequence::SelectAll, QKeySequence::Cut) << all
                                     << "999";
        QTest::newRow("paste, undo") << Act::Keys << 0 << 0 << keys(QKeySequence::Paste, QKeySequence::Undo) << ""
                                     << "999";
        QTest::newRow("typing, erasing") << Act::Keys << 0 << 0 << QKeySequence(Qt::Key_1, Qt::Key_Backspace, Qt::Key_Delete)
                                         << "" << "999";
        QTest::newRow("menu Copy") << Act::MenuCopy << 4 << 6 << none << "45" << "45";
        QTest::newRow("menu Select All") << Act::MenuSelectAll << 0 << 0 << none << all << "999";
    }
    void selectAndCopy()
    {
        QFETCH(Act, act);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QKeySequence, keys);
        QFETCH(QString, selected);
        QFETCH(QString, copied);
        const QSignalSpy edited(m_box, &QLineEdit::textChanged);
        if (act == Act::DoubleClick) {
            QTest::mouseDClick(m_box, Qt::LeftButton, {}, at(from));
        } else {
            QTest::mousePress(m_box, Qt::LeftButton, {}, at(from));
            QMouseEvent move(QEvent::MouseMove, at(to), m_box->mapToGlobal(at(to)), Qt::NoButton, Qt::LeftButton, {});
            QApplication::sendEvent(m_box, &move);
            QTest::mouseRelease(m_box, Qt::LeftButton, {}, at(to));
        }
        QVERIFY(m_box->hasFocus());
        for (int i = 0; i < keys.count(); ++i)
            QTest::keyClick(m_box, keys[i].key(), keys[i].keyboardModifiers());
        if (act == Act::MenuCopy || act == Act::MenuSelectAll) {
            // The menu a read-only line edit offers, with its texts and mnemonics.
            QLineEdit lineEdit;
            lineEdit.setReadOnly(true);
            const std::unique_ptr<QMenu> expected(lineEdit.createStandardContextMenu());
            const std::unique_ptr<QMenu> menu(m_box->createStandardContextMenu());
            QCOMPARE(menu->actions().size(), expected->actions().size());
            for (qsizetype i = 0; i < menu->actions().size(); ++i)
                QCOMPARE(menu->actions()[i]->text(), expected->actions()[i]->text());
            QAction *chosen = menu->actions().value(act == Act::MenuCopy ? 0 : 2);
            QVERIFY(chosen->isEnabled());
            chosen->trigger();
        }
        QCOMPARE(m_box->text(), QStringLiteral("PD: 45%"));
        QCOMPARE(edited.count(), 0);
        QCOMPARE(m_box->selectedText(), selected);
        QClipboard *clipboard = QGuiApplication::clipboard();
        QCOMPARE(clipboard->text(), copied);
        if (clipboard->supportsSelection() && act <= Act::DoubleClick && !selected.isEmpty())
            QCOMPARE(clipboard->text(QClipboard::Selection), selected);
    }

    void newReading_data()
    {
        QTest::addColumn<int>("selectFrom");
        QTest::addColumn<int>("selectLength");
        QTest::addColumn<QString>("next");
        QTest::addColumn<QString>("selected");
        QTest::newRow("whole stays whole") << 0 << 7 << "PD: 100%" << "PD: 100%";
        QTest::newRow("whole, backwards") << 7 << -7 << "PD: 9%" << "PD: 9%";
        QTest::newRow("part is dropped") << 4 << 2 << "PD: 46%" << "";
        QTest::newRow("same text keeps a part") << 4 << 2 << "PD: 45%" << "45";
        QTest::newRow("none stays none") << 0 << 0 << "PD: 46%" << "";
    }
    void newReading()
    {
        QFETCH(int, selectFrom);
        QFETCH(int, selectLength);
        QFETCH(QString, next);
        QFETCH(QString, selected);
        m_box->setSelection(selectFrom, selectLength);
        m_box->showText(next);
        QCOMPARE(m_box->text(), next);
        QCOMPARE(m_box->selectedText(), selected);
        QTest::keyClick(m_box, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), selected.isEmpty() ? QStringLiteral("999") : selected);
    }

    void accessibleText_data()
    {
        QTest::addColumn<QString>("next");
        QTest::addColumn<bool>("selectAll");
        QTest::addColumn<QList<QAccessible::Event>>("events");
        using E = QList<QAccessible::Event>;
        QTest::newRow("new reading") << "PD: 46%" << false << E{QAccessible::TextUpdated};
        QTest::newRow("same reading") << "PD: 45%" << false << E{};
        // setText drops the selection, the box selects all again
        QTest::newRow("new reading, all selected")
            << "PD: 46%" << true
            << E{QAccessible::TextSelectionChanged, QAccessible::TextUpdated, QAccessible::TextSelectionChanged};
    }
    void accessibleText()
    {
        QFETCH(QString, next);
        QFETCH(bool, selectAll);
        QFETCH(QList<QAccessible::Event>, events);
        QAccessibleInterface *readback = QAccessible::queryAccessibleInterface(m_box);
        QCOMPARE(readback->role(), QAccessible::EditableText);
        QVERIFY(readback->state().readOnly && !readback->state().editable && readback->state().focusable);
        QAccessibleTextInterface *text = readback->textInterface();
        QVERIFY(text);
        if (selectAll)
            m_box->selectAll();
        QList<QAccessible::Event> seen;
        const auto previous = QAccessible::installUpdateHandler(&recordTextEvent);
        g_textEvents = &seen;
        m_box->showText(next);
        g_textEvents = nullptr;
        QAccessible::installUpdateHandler(previous);
        // Without a bridge (offscreen) the toolkit sends no events; under X11 it does.
        if (QAccessible::isActive())
            QCOMPARE(seen, events);
        QCOMPARE(readback->text(QAccessible::Value), next);
        QCOMPARE(text->text(0, text->characterCount()), next);
        int start = -1;
        int end = -1;
        text->selection(0, &start, &end);
        QCOMPARE(end - start, selectAll ? next.size() : 0);
        // The character under a point is the one drawn there.
        QCOMPARE(text->offsetAtPoint(text->characterRect(4).center()), 4);
    }
};

QTEST_MAIN(TestReadbackBox)
#include "tst_readbackbox.moc"
