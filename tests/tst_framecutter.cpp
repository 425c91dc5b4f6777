// The server's frame cutter: the frames a byte stream holds come out the same however
// TCP joins or splits it, and what the panel drops stays dropped.

#include "status/FrameCutter.h"
#include "status/StatusFrame.h"

#include <QTest>

namespace {

// A status frame whose readings all carry `seed`, so that frames tell apart.
QByteArray statusFrame(int seed)
{
    StatusReadings readings;
    readings.values.fill(seed);
    readings.flags = static_cast<std::uint8_t>(seed & 0x3F);
    QByteArray frame = encodeStatusFrame(readings);
    frame[32] = static_cast<char>(0xAF);   // a message opcode inside a frame is data
    return frame;
}

const QByteArray kMessage = QByteArray::fromHex("af") + "Hi \xe9\xff";

// "S:<hex>" or "M:<hex>" per frame, in order, so that a failure prints what came out.
QStringList cutAll(const QList<QByteArray> &arrivals, FrameCutter &cutter)
{
    QStringList frames;
    for (const QByteArray &arrival : arrivals) {
        cutter.cut(arrival, [&frames](Arrival kind, QByteArrayView frame) {
            const QString hex = QString::fromLatin1(frame.toByteArray().toHex());
            frames << (kind == Arrival::Status ? QStringLiteral("S:") : QStringLiteral("M:")) + hex;
        });
    }
    return frames;
}

QString status(const QByteArray &frame) { return QStringLiteral("S:") + QString::fromLatin1(frame.toHex()); }
QString message(const QByteArray &frame) { return QStringLiteral("M:") + QString::fromLatin1(frame.toHex()); }

} // namespace

class TestFrameCutter : public QObject
{
    Q_OBJECT

private slots:
    void everySplit_data();
    void everySplit();
    void arrivals_data();
    void arrivals();
    void carryNeverExceedsOneFrame();
};

void TestFrameCutter::everySplit_data()
{
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<qsizetype>("messageAt");   // where a closing message starts; the stream's end if none
    QTest::addColumn<QStringList>("frames");

    const QByteArray a = statusFrame(0x0A1), b = statusFrame(0x3F), c = statusFrame(0xFFF);
    QTest::newRow("one status") << a << a.size() << QStringList{status(a)};
    QTest::newRow("three status") << a + b + c << 3 * a.size()
                                  << QStringList{status(a), status(b), status(c)};
    QTest::newRow("two status, a message") << a + b + kMessage << 2 * a.size()
                                           << QStringList{status(a), status(b), message(kMessage)};
}

// The stream as one arrival, as two split at every byte, and as one byte per arrival.
void TestFrameCutter::everySplit()
{
    QFETCH(QByteArray, stream);
    QFETCH(qsizetype, messageAt);
    QFETCH(QStringList, frames);

    for (qsizetype at = 0; at <= messageAt; ++at) {
        FrameCutter cutter;
        QCOMPARE(cutAll({stream.first(at), stream.sliced(at)}, cutter), frames);
        QCOMPARE(cutter.carried(), 0);
    }
    QList<QByteArray> bytes;
    for (qsizetype i = 0; i < messageAt; ++i)
        bytes << stream.sliced(i, 1);
    bytes << stream.sliced(messageAt);
    FrameCutter cutter;
    QCOMPARE(cutAll(bytes, cutter), frames);
}

void TestFrameCutter::arrivals_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<QStringList>("frames");

    const QByteArray a = statusFrame(1), b = statusFrame(2);
    const QByteArray garbage = QByteArray::fromHex("00a1ff");
    const QByteArray lone = QByteArray::fromHex("af");
    QTest::newRow("a message swallows a joined status frame")
        << QList<QByteArray>{kMessage + a, b} << QStringList{message(kMessage + a), status(b)};
    QTest::newRow("garbage drops its arrival, the next starts afresh")
        << QList<QByteArray>{garbage + a, b} << QStringList{status(b)};
    QTest::newRow("garbage after a frame drops only the rest")
        << QList<QByteArray>{a + garbage + b, b} << QStringList{status(a), status(b)};
    QTest::newRow("a lone message opcode is dropped")
        << QList<QByteArray>{lone, a} << QStringList{status(a)};
    QTest::newRow("empty arrivals change nothing")
        << QList<QByteArray>{{}, a.first(5), {}, a.sliced(5)} << QStringList{status(a)};
    QTest::newRow("a short frame waits for its rest")
        << QList<QByteArray>{a.first(32)} << QStringList{};
}

void TestFrameCutter::arrivals()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(QStringList, frames);
    FrameCutter cutter;
    QCOMPARE(cutAll(arrivals, cutter), frames);
}

void TestFrameCutter::carryNeverExceedsOneFrame()
{
    FrameCutter cutter;
    const QByteArray flood(100000, static_cast<char>(kStatusOpcode));
    int frames = 0;
    cutter.cut(flood, [&frames](Arrival, QByteArrayView) { ++frames; });
    QCOMPARE(frames, 100000 / kStatusFrameSize);
    QCOMPARE(cutter.carried(), 100000 % kStatusFrameSize);
    cutter.reset();
    QCOMPARE(cutter.carried(), 0);
}

QTEST_APPLESS_MAIN(TestFrameCutter)
#include "tst_framecutter.moc"
