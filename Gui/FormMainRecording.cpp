// The window's side of the recorder: File → Record… / Stop recording, and its console lines.

#include "Gui/FormMain.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QStandardPaths>

namespace {

const QString kRecordText = QStringLiteral("&Record\u2026");
const QString kStopText = QStringLiteral("Stop &recording");

QString suggestedRecordingPath()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString name = QStringLiteral("norvane-%1.csv")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    return QDir(folder).filePath(name);
}

QString askForRecordingPath(QWidget *parent, const QString &suggested)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Record"), suggested,
                                        QStringLiteral("CSV files (*.csv);;All files (*)"));
}

} // namespace

void FormMain::connectRecording()
{
    m_chooseRecordingPath = askForRecordingPath;

    auto *mnuRecord = new QAction(kRecordText, mnuFile);
    mnuRecord->setObjectName(QStringLiteral("mnuRecord"));
    mnuFile->insertAction(mnuExit, mnuRecord);
    mnuFile->insertSeparator(mnuExit);

    connect(mnuRecord, &QAction::triggered, this, &FormMain::toggleRecording);
    connect(&m_recorder, &Recorder::recordingChanged, mnuRecord,
            [mnuRecord](bool recording) { mnuRecord->setText(recording ? kStopText : kRecordText); });
    connect(&m_recorder, &Recorder::logged, this, &FormMain::log);
}

void FormMain::toggleRecording()
{
    if (m_recorder.isRecording()) {
        m_recorder.stop();
        return;
    }
    const QString path = m_chooseRecordingPath(this, suggestedRecordingPath());
    if (!path.isEmpty())
        m_recorder.start(path);
}
