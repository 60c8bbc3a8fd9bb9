// The bridge layer: status names, the choice of the back end, serialisation of calls per handle.
#include "tests/usb/UsbTests.h"
#include "usb/bridge/BridgeStatusName.h"
#include "usb/bridge/ProcessBridge.h"
#include "usb/bridge/SerialisedBridge.h"

#include <QSet>
#include <QThread>
#include <QtTest>
#include <atomic>

namespace {

// A back end whose calls take a while and that counts calls overlapping on one handle.
class SlowBackend final : public BridgeLibrary
{
public:
    std::atomic<int> overlaps{0};
    std::atomic<int> readsAfterClose{0};

    Bridge::Status getNumDevices(quint32 *numDevices) override
    {
        *numDevices = 1;
        return Bridge::Success;
    }
    Bridge::Status getProductString(quint32, char *text, quint32) override
    {
        text[0] = '\0';
        return Bridge::Success;
    }
    Bridge::Status open(quint32, Bridge::Handle *handle) override
    {
        *handle = 7;
        m_Open = true;
        return Bridge::Success;
    }
    Bridge::Status close(Bridge::Handle) override
    {
        return busy([this] {
            m_Open = false;
            return Bridge::Success;
        });
    }
    Bridge::Status read(Bridge::Handle, void *, quint32, quint32 *returned, void *) override
    {
        return busy([&] {
            *returned = 0;
            if (!m_Open) {
                ++readsAfterClose;
                return Bridge::InvalidHandle;
            }
            return Bridge::Success;
        });
    }
    Bridge::Status write(Bridge::Handle, const void *, quint32, quint32 *, void *) override
    {
        return Bridge::Success;
    }
    Bridge::Status checkRxQueue(Bridge::Handle, quint32 *, quint32 *) override { return Bridge::Success; }
    Bridge::Status flushBuffers(Bridge::Handle, quint8, quint8) override { return Bridge::Success; }
    Bridge::Status setBaudRate(Bridge::Handle, quint32) override { return Bridge::Success; }
    Bridge::Status setLineControl(Bridge::Handle, quint16) override { return Bridge::Success; }
    Bridge::Status writeLatch(Bridge::Handle, quint8, quint8) override
    {
        return busy([] { return Bridge::Success; });
    }

private:
    template <typename Work> Bridge::Status busy(Work work)
    {
        if (m_Inside.fetch_add(1) != 0)
            ++overlaps;
        QThread::msleep(2);
        const Bridge::Status status = work();
        m_Inside.fetch_sub(1);
        return status;
    }

    std::atomic<int> m_Inside{0};
    std::atomic<bool> m_Open{false};
};

} // namespace

class TestBridgeLayer : public QObject
{
    Q_OBJECT

private slots:
    void statusNames_data();
    void statusNames();
    void backendChoice_data();
    void backendChoice();
    void callsOnOneHandleNeverOverlap();
};

void TestBridgeLayer::statusNames_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");
    const QList<QPair<int, const char *>> names = {
        {0x00, "SI_SUCCESS"},           {0x01, "SI_INVALID_HANDLE"},    {0x02, "SI_READ_ERROR"},
        {0x04, "SI_WRITE_ERROR"},       {0x06, "SI_INVALID_PARAMETER"}, {0x07, "SI_INVALID_REQUEST_LENGTH"},
        {0x08, "SI_DEVICE_IO_FAILED"},  {0x09, "SI_INVALID_BAUDRATE"},  {0x0A, "SI_FUNCTION_NOT_SUPPORTED"},
        {0x0B, "SI_GLOBAL_DATA_ERROR"}, {0x0C, "SI_SYSTEM_ERROR_CODE"}, {0x0D, "SI_READ_TIMED_OUT"},
        {0x0E, "SI_WRITE__TIMED_OUT"},  {0x0F, "SI_IO_PENDING"},        {0xFF, "SI_DEVICE_NOT_FOUND"},
        {0x03, "SI_UNKNOWN_STATUS"},    {0x10, "SI_UNKNOWN_STATUS"},    {-1, "SI_UNKNOWN_STATUS"}};
    for (const auto &entry : names)
        QTest::addRow("%d", entry.first) << entry.first << QString::fromLatin1(entry.second);
}

void TestBridgeLayer::statusNames()
{
    QFETCH(int, status);
    QFETCH(QString, name);
    QCOMPARE(QString::fromLatin1(bridgeStatusName(status)), name);
}

void TestBridgeLayer::backendChoice_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<QByteArray>("boards");    // "-" leaves ZELVAN_VIRTUAL_BOARDS unset
    QTest::addColumn<QStringList>("expected"); // "description|serial" per device
    QTest::addColumn<bool>("refused");

    QTest::newRow("unset boards") << "virtual" << QByteArray("-") << QStringList{"Zelvan Mini|ZV000001"}
                                  << false;
    QTest::newRow("empty name selects virtual")
        << "" << QByteArray("-") << QStringList{"Zelvan Mini|ZV000001"} << false;
    QTest::newRow("named boards") << "virtual" << QByteArray(" A1 = Bench board ,B2")
                                  << QStringList{"Bench board|A1", "Zelvan Mini|B2"} << false;
    QTest::newRow("bad entry left out")
        << "virtual" << QByteArray("=Nameless,C3=Kept") << QStringList{"Kept|C3"} << false;
    QTest::newRow("no boards") << "virtual" << QByteArray("") << QStringList{} << false;
    QTest::newRow("unknown back end refused") << "hardware" << QByteArray("-") << QStringList() << true;
}

void TestBridgeLayer::backendChoice()
{
    QFETCH(QString, backend);
    QFETCH(QByteArray, boards);
    QFETCH(QStringList, expected);
    QFETCH(bool, refused);

    const QByteArray previous = qgetenv("ZELVAN_VIRTUAL_BOARDS");
    const bool hadPrevious = qEnvironmentVariableIsSet("ZELVAN_VIRTUAL_BOARDS");
    if (boards == "-")
        qunsetenv("ZELVAN_VIRTUAL_BOARDS");
    else
        qputenv("ZELVAN_VIRTUAL_BOARDS", boards);
    QString error;
    // The parser reports a left-out entry as a critical message.
    if (boards.startsWith('='))
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression("ZELVAN_VIRTUAL_BOARDS: entry 1 .* no serial number"));
    const std::unique_ptr<BridgeLibrary> library = createBridgeBackend(backend, &error);
    if (hadPrevious)
        qputenv("ZELVAN_VIRTUAL_BOARDS", previous);
    else
        qunsetenv("ZELVAN_VIRTUAL_BOARDS");

    if (refused) {
        QVERIFY(!library);
        QVERIFY(error.contains(backend));
        QVERIFY(error.contains("virtual"));
        return;
    }
    QVERIFY(library);
    quint32 count = 99;
    const Bridge::Status countStatus = library->getNumDevices(&count);
    QCOMPARE(countStatus, expected.isEmpty() ? Bridge::DeviceNotFound : Bridge::Success);
    QStringList found;
    for (quint32 number = 0; number < count; ++number) {
        char description[Bridge::ProductStringSize];
        char serial[Bridge::ProductStringSize];
        QCOMPARE(library->getProductString(number, description, Bridge::ProductDescription), Bridge::Success);
        QCOMPARE(library->getProductString(number, serial, Bridge::ProductSerialNumber), Bridge::Success);
        found.append(QString::fromUtf8(description) + "|" + QString::fromUtf8(serial));
    }
    QCOMPARE(found, expected);
}

void TestBridgeLayer::callsOnOneHandleNeverOverlap()
{
    SlowBackend backend;
    SerialisedBridge bridge(backend);
    Bridge::Handle handle = Bridge::NoHandle;
    QCOMPARE(bridge.open(0, &handle), Bridge::Success);

    std::atomic<bool> stop{false};
    QScopedPointer<QThread> reader(QThread::create([&] {
        quint8 buffer[16];
        quint32 received = 0;
        while (!stop)
            bridge.read(handle, buffer, sizeof buffer, &received, nullptr);
    }));
    reader->start();
    for (int i = 0; i < 20; ++i)
        bridge.writeLatch(handle, Bridge::LatchReset, 0);
    QCOMPARE(bridge.close(handle), Bridge::Success);
    QTest::qWait(20);
    stop = true;
    reader->wait();

    QCOMPARE(backend.overlaps.load(), 0);
    // Reads after the close meet a closed handle, none a half-closed one.
    QVERIFY(backend.readsAfterClose.load() > 0);
}

int runBridgeLayerTests(int argc, char **argv)
{
    TestBridgeLayer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_BridgeLayer.moc"
