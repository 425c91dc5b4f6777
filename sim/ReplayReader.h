#pragma once
// Reads a recording back as the frames it stands for, one CSV record at a time; no I/O.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <optional>

struct ReplayStep {
    enum class Kind {
        Frame,         // a status or message frame, due at elapsedS
        End,           // nothing after the last complete record
        CutLastLine,   // the text ends inside a record, as a crash leaves it; nothing follows
        Bad,           // a malformed record; problem says what is wrong
    };
    Kind kind = Kind::End;
    int line = 0;             // where the record starts, counting from 1
    double elapsedS = 0;
    QByteArray frame;
    QString problem;
};

class ReplayReader final
{
public:
    // `text` must outlive the reader.
    explicit ReplayReader(QByteArrayView text);

    // Reads and checks the header; a problem is returned as text, with the reader at its end.
    std::optional<QString> readHeader();

    // The next record after the header. A status row becomes the status frame that
    // encodes its readings and switches, a message row 0xAF and the message's
    // characters as Latin-1 bytes. A record is bad when its cells disagree with the
    // columns, a number is out of range, a temperature differs from its reading, the
    // elapsed time runs backwards or the message is not Latin-1.
    ReplayStep next();

    // Back to the first record after the header.
    void rewind();

private:
    enum class Cut { No, Yes };
    // Splits one RFC 4180 record; a record the text ends inside is cut.
    Cut readRecord(QStringList &cells);
    std::optional<QString> decode(const QStringList &cells, ReplayStep &step) const;

    QByteArrayView m_text;
    qsizetype m_pos = 0;
    int m_line = 1;
    qsizetype m_firstRecordPos = 0;
    int m_firstRecordLine = 1;
    double m_lastElapsedS = 0;
    QString m_quoteProblem;   // of the record just read
};
