// The network channel against a server in the test itself: what each kind of bad server does
// to it, and what it tells its observer.
#include "NetworkChannel.h"
#include "FullBacklogServer.h"
#include "Hex.h"
#include "LinkObserver.h"
#include "LinkWords.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

using test::Hex;
using test::ToHex;

class NoteRecorder : public LinkObserver {
public:
    void BytesWritten(LinkClock::time_point, const std::uint8_t*, std::size_t) override {}
    void ByteRead(LinkClock::time_point, std::uint8_t, ReceiverContext) override {}
    void ReplyAccepted(LinkClock::time_point, ReplyKind) override {}
    void LinkLost(LinkClock::time_point, bool) override {}
    void PortOpened(LinkClock::time_point, bool) override {}
    void NetworkNoted(LinkClock::time_point, const NetworkNote& note) override {
        notes.push_back(note);
    }
    bool Has(NetworkNote::Kind kind) const {
        return std::any_of(notes.begin(), notes.end(),
                           [kind](const NetworkNote& note) { return note.kind == kind; });
    }
    std::vector<NetworkNote> notes;
};

class NetworkChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        channel.SetObserver(&recorder);
    }

    std::string Name(const char* scheme) const {
        return std::string(scheme) + "://127.0.0.1:" + std::to_string(server.serverPort());
    }

    QTcpSocket* Accept() {
        if (!QTest::qWaitFor([this] { return server.hasPendingConnections(); }, 5000))
            return nullptr;
        return server.nextPendingConnection();
    }

    std::vector<std::uint8_t> ReadAll() {
        std::vector<std::uint8_t> bytes;
        const std::uint32_t count = channel.PendingInputCount();
        for (std::uint32_t i = 0; i < count; ++i)
            bytes.push_back(channel.ReadComByte());
        return bytes;
    }

    int Write(const char* hex) {
        const std::vector<std::uint8_t> bytes = Hex(hex);
        return channel.WriteComPort(bytes.data(), static_cast<int>(bytes.size()));
    }

    QTcpServer server;
    NoteRecorder recorder;
    NetworkChannel channel;
};

TEST_F(NetworkChannelTest, ARefusedConnectionFailsTheOpenWithItsCause) {
    const std::string name = Name("tcp");
    server.close();
    EXPECT_EQ(channel.OpenComPort(name, 9600), kOpenFailed);
    EXPECT_EQ(channel.LastOpenFailure().reason, OpenFailureReason::ConnectionRefused);
    EXPECT_EQ(OpenErrorMessage("Ошибка открытия COM порта", channel.LastOpenFailure()),
              "Ошибка открытия COM порта\n127.0.0.1:" + name.substr(name.rfind(':') + 1) +
                  ": соединение отвергнуто");
    EXPECT_TRUE(channel.PortVanished()) << "the keeper tries again";
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(recorder.Has(NetworkNote::Kind::Failed));
}

TEST_F(NetworkChannelTest, AHostThatDoesNotResolveIsLostAsNotFound) {
    EXPECT_EQ(channel.OpenComPort("tcp://no-such-host.invalid:5020", 9600), kOpenOk)
        << "a name is looked up without holding the window";
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.PortVanished(); }, 15000));
    EXPECT_EQ(channel.LastOpenFailure().reason, OpenFailureReason::HostNotFound);
    EXPECT_EQ(channel.LastOpenFailure().device, "no-such-host.invalid:5020");
}

TEST_F(NetworkChannelTest, CarriesBytesBothWaysAndTakesThemInHoweverTheyTrickle) {
    ASSERT_EQ(channel.OpenComPort(Name("tcp"), 9600), kOpenOk);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    Write("01 03 00 00 00 1B 05 C1");
    ASSERT_TRUE(QTest::qWaitFor([peer] { return peer->bytesAvailable() >= 8; }, 5000));
    EXPECT_EQ(peer->readAll().toHex(' ').toUpper().toStdString(), "01 03 00 00 00 1B 05 C1");

    std::vector<std::uint8_t> received;
    for (std::uint8_t byte : Hex("01 06 00 0F 00 03 F9 C8")) {
        peer->write(reinterpret_cast<const char*>(&byte), 1);
        peer->flush();
        QTest::qWait(20);
        for (std::uint8_t got : ReadAll())
            received.push_back(got);
    }
    EXPECT_EQ(ToHex(received), "01 06 00 0F 00 03 F9 C8");
}

// Held back, a frame would count as on its way and then vanish with the connection that never
// came: the link would wait out its time-out for a reply to nothing.
TEST_F(NetworkChannelTest, AFrameWithNoConnectionToCarryItIsNotSent) {
    test::FullBacklogServer hung;
    ASSERT_TRUE(hung.Full());
    const char* poll = "01 03 00 00 00 1B 05 C1";
    EXPECT_EQ(Write(poll), kWriteNotSent) << "never opened";

    ASSERT_EQ(channel.OpenComPort("tcp://127.0.0.1:" + std::to_string(hung.Port()), 9600), kOpenOk);
    EXPECT_TRUE(channel.Connecting());
    EXPECT_EQ(Write(poll), kWriteNotSent) << "still connecting";

    ASSERT_EQ(channel.OpenComPort(Name("modbus-tcp"), 9600), kOpenOk);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    EXPECT_FALSE(channel.Connecting());
    EXPECT_EQ(Write("01 41 00"), kWriteNotSent) << "Modbus TCP carries Modbus requests only";
    EXPECT_NE(Write(poll), kWriteNotSent);
    peer->abort();
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.PortVanished(); }, 5000));
    EXPECT_EQ(Write(poll), kWriteNotSent) << "the connection went down";
}

// kvel-cli has no event loop to run the connect timer: the wait itself gives up.
TEST_F(NetworkChannelTest, AConnectionNeverTakenIsGivenUpAsTimedOut) {
    test::FullBacklogServer hung;
    ASSERT_TRUE(hung.Full());
    const std::string port = std::to_string(hung.Port());
    ASSERT_EQ(channel.OpenComPort("tcp://127.0.0.1:" + port, 9600), kOpenOk);
    const auto started = LinkClock::now();
    EXPECT_FALSE(channel.WaitUntilConnected(600));
    EXPECT_GE(LinkClock::now() - started, std::chrono::milliseconds(550));
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_TRUE(channel.PortVanished()) << "the keeper tries again";
    EXPECT_EQ(OpenFailureText(channel.LastOpenFailure()),
              "127.0.0.1:" + port + ": узел не отвечает");
    ASSERT_EQ(recorder.notes.size(), 1u);
    EXPECT_EQ(recorder.notes[0].kind, NetworkNote::Kind::Failed);

    ASSERT_EQ(channel.OpenComPort(Name("tcp"), 9600), kOpenOk);
    EXPECT_TRUE(channel.WaitUntilConnected(600));
}

TEST_F(NetworkChannelTest, AServerThatNeverAnswersLeavesTheChannelOpenAndQuiet) {
    ASSERT_EQ(channel.OpenComPort(Name("modbus-tcp"), 9600), kOpenOk);
    ASSERT_NE(Accept(), nullptr);
    Write("01 03 00 00 00 1B 05 C1");
    QTest::qWait(300);
    EXPECT_TRUE(channel.IsOpen());
    EXPECT_EQ(channel.PendingInputCount(), 0u);
    EXPECT_FALSE(channel.PortVanished());
}

TEST_F(NetworkChannelTest, AServerClosingMidFrameIsALossWithItsCause) {
    ASSERT_EQ(channel.OpenComPort(Name("tcp"), 9600), kOpenOk);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    peer->write(QByteArray::fromHex("010603"));
    peer->flush();
    QTest::qWait(50);
    peer->close();
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.PortVanished(); }, 5000));
    EXPECT_FALSE(channel.IsOpen());
    EXPECT_EQ(channel.LastOpenFailure().reason, OpenFailureReason::ConnectionDropped);
    EXPECT_TRUE(recorder.Has(NetworkNote::Kind::Connected));
    ASSERT_TRUE(recorder.Has(NetworkNote::Kind::Failed));
    EXPECT_EQ(recorder.notes.back().reason, OpenFailureReason::ConnectionDropped);

    // Closed by the program: no longer vanished, and not retried.
    channel.CloseComPort();
    EXPECT_FALSE(channel.PortVanished());
}

TEST_F(NetworkChannelTest, ModbusTcpRepliesWithBadHeadersAreDroppedAndTold) {
    ASSERT_EQ(channel.OpenComPort(Name("modbus-tcp"), 9600), kOpenOk);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    Write("01 06 00 0F 00 03 F9 C8");
    ASSERT_TRUE(QTest::qWaitFor([peer] { return peer->bytesAvailable() >= 12; }, 5000));
    EXPECT_EQ(peer->readAll().toHex(' ').toUpper().toStdString(),
              "00 01 00 00 00 06 01 06 00 0F 00 03");
    // Another transaction, then a header claiming 64 KiB and a flood of empty headers.
    peer->write(QByteArray::fromHex("000900000006010600"
                                    "0F0003"
                                    "00010000FFFF01"));
    peer->write(QByteArray(7 * 28000, '\0'));
    peer->flush();
    QTest::qWait(300);
    EXPECT_TRUE(ReadAll().empty());
    std::vector<MbapFault> faults;
    for (const NetworkNote& note : recorder.notes)
        if (note.kind == NetworkNote::Kind::ReplyDropped) faults.push_back(note.drop.fault);
    ASSERT_GE(faults.size(), 2u);
    EXPECT_EQ(faults[0], MbapFault::WrongTransaction);
    EXPECT_EQ(faults[1], MbapFault::WrongLength);

    // The awaited reply still comes through once the stream is whole again.
    peer->write(QByteArray::fromHex("000100000006010600"
                                    "0F0003"));
    peer->flush();
    ASSERT_TRUE(QTest::qWaitFor([this] { return channel.PendingInputCount() > 0; }, 5000));
    EXPECT_TRUE(channel.IsOpen());
}

// ser2net's greeting and its answers to 38400 bit/s 8N1.
const char* const kSer2netAt38400 =
    "FF FB 03 FF FD 03 FF FB 01 FF FE 01 FF FD 00 FF FB 00 FF FD 2C "
    "FF FA 2C 65 00 00 96 00 FF F0 FF FA 2C 66 08 FF F0 FF FA 2C 67 01 FF F0 FF FA 2C 68 01 FF F0";

TEST_F(NetworkChannelTest, Rfc2217LineIsUpOnceTheServerSetItAndDoublesIacBothWays) {
    ASSERT_EQ(channel.OpenComPort(Name("rfc2217"), 38400), kOpenOk);
    QTcpSocket* peer = Accept();
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(channel.Connecting());
    ASSERT_TRUE(QTest::qWaitFor([peer] { return peer->bytesAvailable() > 0; }, 5000));
    const std::vector<std::uint8_t> asked = Hex(kSer2netAt38400);
    peer->write(reinterpret_cast<const char*>(asked.data()), static_cast<qint64>(asked.size()));
    ASSERT_TRUE(QTest::qWaitFor([this] { return !channel.Connecting(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor(
        [peer] {
            return peer->readAll().toHex(' ').toUpper().contains("FF FA 2C 01 00 00 96 00 FF F0");
        },
        5000))
        << "the rate asked for";
    EXPECT_TRUE(recorder.Has(NetworkNote::Kind::Connected));

    EXPECT_NE(Write("01 10 FF FF"), kWriteNotSent);
    ASSERT_TRUE(QTest::qWaitFor([peer] { return peer->bytesAvailable() >= 6; }, 5000));
    EXPECT_EQ(peer->readAll().toHex(' ').toUpper().toStdString(), "01 10 FF FF FF FF");
    peer->write(QByteArray::fromHex("0103FFFFFA"));
    EXPECT_TRUE(QTest::qWaitFor([this] { return channel.PendingInputCount() == 4; }, 5000));
    EXPECT_EQ(ToHex(ReadAll()), "01 03 FF FA");
    EXPECT_EQ(channel.LastOpenFailure().reason, OpenFailureReason::None);
}

struct BadPortControl {
    const char* what;
    const char* server;
    bool closes;
    OpenFailureReason reason;
};

// Whatever the server does wrong, the line is lost with its cause and none of what it sent is
// taken for the unit's bytes.
TEST_F(NetworkChannelTest, Rfc2217ServerThatWillNotSetTheLineLosesItWithTheCause) {
    std::string flood = "FF FD 2C FF FA 2C";
    for (int i = 0; i < 20000; ++i)
        flood += " 41";
    const BadPortControl servers[] = {
        {"refuses the option", "FF FB 00 FF FE 2C 01 03", false,
         OpenFailureReason::PortControlRefused},
        {"closes during the negotiation", "FF FD 2C", true, OpenFailureReason::ConnectionDropped},
        {"sets another rate", "FF FD 2C FF FA 2C 65 00 00 25 80 FF F0", false,
         OpenFailureReason::SettingsRefused},
        {"floods a subnegotiation", flood.c_str(), false, OpenFailureReason::TelnetGarbled},
        {"says nothing", "", false, OpenFailureReason::PortControlUnanswered},
    };
    for (const BadPortControl& bad : servers) {
        ASSERT_EQ(channel.OpenComPort(Name("rfc2217"), 38400), kOpenOk) << bad.what;
        QTcpSocket* peer = Accept();
        ASSERT_NE(peer, nullptr) << bad.what;
        peer->write(QByteArray::fromHex(bad.server));
        peer->flush();
        if (bad.closes) peer->disconnectFromHost();
        ASSERT_TRUE(QTest::qWaitFor([this] { return channel.PortVanished(); },
                                    kPortControlTimeoutMs + 3000))
            << bad.what;
        EXPECT_EQ(channel.LastOpenFailure().reason, bad.reason) << bad.what;
        EXPECT_EQ(channel.PendingInputCount(), 0u) << bad.what;
        delete peer;
    }
    EXPECT_EQ(channel.LastOpenFailure().reason, OpenFailureReason::PortControlUnanswered);
    EXPECT_EQ(OpenFailureReasonText(channel.LastOpenFailure()),
              "сервер не ответил на управление портом (RFC 2217)");
}

} // namespace
} // namespace kvel
