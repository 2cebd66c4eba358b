// Firmware uploads from the real window, link and serial channel to kvel-sim over a
// pseudo-terminal at 115200 bit/s, checked against the image the simulated unit wrote down.
#include "Crc16.h"
#include "CuttingRelay.h"
#include "MessageCapture.h"
#include "ModbusLink.h"
#include "NetworkChannel.h"
#include "QuietFakes.h"
#include "RegisterMap.h"
#include "Unit4.h"
#include "WindowProgramFixture.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::SimulatedUnit;

constexpr int kBaudIndex115200 = 9;
constexpr const char* kFlashOut = "flash.bin";

QByteArray Firmware(int size) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 31 + i / 2048);
    return bytes;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class FirmwareEndToEndTest : public ::testing::Test, protected test::WindowProgramFixture<> {
protected:
    // The main window stays hidden: the upload's window is the one in use.
    void Start(QStringList simArguments = {}) {
        ASSERT_NO_FATAL_FAILURE(test::WriteDataInfOfCom1(kBaudIndex115200));
        ASSERT_NO_FATAL_FAILURE(StartUnit(simArguments << "--baud-index"
                                                       << QString::number(kBaudIndex115200)
                                                       << "--flash-out" << kFlashOut));
        form = std::make_unique<TForm1>(channel);
        window = std::make_unique<TForm4>(transfer, form->State(), channel, [this](int t1, int t2) {
            form->Timer1->SetInterval(t1);
            form->Timer2->SetInterval(t2);
        });
        ASSERT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    }

    void ChooseAndStart(const QByteArray& firmware) {
        QFile file("firmware.bin");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(firmware);
        file.close();
        const QString path = QFileInfo(file).absoluteFilePath();
        window->ChooseFileName = [path] { return path; };
        window->Button1Click();
        window->Button2Click();
    }

    QString Status() const { return window->Label2->text(); }
    bool WaitForStatus(const QString& text, int ms) {
        return QTest::qWaitFor([&] { return Status() == text; }, ms);
    }
    // Ticks of 1005 ms for the ready wait, every block, and the closing frame, with room.
    static int UploadMs(int blocks) { return (blocks + 6) * 1005 + 5000; }

    void Upload(const QByteArray& firmware) {
        ChooseAndStart(firmware);
        const int blocks = (firmware.size() + 2047) / 2048;
        ASSERT_TRUE(WaitForStatus(QStringLiteral("Программирование завершено"), UploadMs(blocks)))
            << Status().toStdString();
        ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists(kFlashOut); }, 2000));
        EXPECT_EQ(ReadAll(kFlashOut), firmware);
        EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    }

    FirmwareTransfer transfer;
    std::unique_ptr<TForm4> window;
};

TEST_F(FirmwareEndToEndTest, FiveByteFileLandsInFlashAndTheUnitReportsANewCompileNumber) {
    Start();
    Upload("ABCDE");
    window->close();
    const std::uint16_t before = 37;
    EXPECT_TRUE(QTest::qWaitFor(
        [this] { return form->State().InputImage[reg::input::CompileNumber] == before + 1; },
        5000));
}

TEST_F(FirmwareEndToEndTest, TwoWholeBlocksLandInFlash) {
    Start();
    Upload(Firmware(2 * 2048));
}

TEST_F(FirmwareEndToEndTest, TwoWholeBlocksAndAShortOneLandInFlash) {
    Start();
    Upload(Firmware(2 * 2048 + 100));
}

TEST_F(FirmwareEndToEndTest, SixtyFourKibLandInFlash) {
    Start({"--ready-delay", "500"});
    Upload(Firmware(64 * 1024));
}

TEST_F(FirmwareEndToEndTest, FifthOfAcknowledgementsLostIsMadeGoodByResends) {
    Start({"--drop-acks", "0.2", "--seed", "3"});
    ChooseAndStart(Firmware(6 * 2048 + 7));
    bool resent = false;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            resent = resent || Status().startsWith(QStringLiteral("Повторная запись"));
            return Status() == QStringLiteral("Программирование завершено");
        },
        UploadMs(7) + 6 * 3 * 1005))
        << Status().toStdString();
    EXPECT_TRUE(resent);
    ASSERT_TRUE(QTest::qWaitFor([] { return QFile::exists(kFlashOut); }, 2000));
    EXPECT_EQ(ReadAll(kFlashOut), Firmware(6 * 2048 + 7));
}

TEST_F(FirmwareEndToEndTest, UnitThatNeverGetsReadyIsReported) {
    Start({"--never-ready"});
    ChooseAndStart(Firmware(100));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Нет связи с ЗУЛ"), 16000));
    EXPECT_EQ(window->Button2->text(), QStringLiteral("Закрыть"));
    EXPECT_FALSE(QFile::exists(kFlashOut));
}

TEST_F(FirmwareEndToEndTest, PortVanishingMidUploadEndsWithAMessage) {
    Start();
    ChooseAndStart(Firmware(8 * 2048));
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Запись 1 блока из 8"), 10000))
        << Status().toStdString();
    unit->Vanish();
    ASSERT_TRUE(WaitForStatus(QStringLiteral("Прервано: ЗУЛ не отвечает"), 6 * 3 * 1005 + 5000))
        << Status().toStdString();
    EXPECT_FALSE(window->Timer1->IsRunning());
    EXPECT_FALSE(transfer.file.is_open());
    window->Button2Click();
    EXPECT_EQ(form->Timer1->Interval(), 500);
    EXPECT_EQ(form->Timer2->Interval(), 100);
}

TEST_F(FirmwareEndToEndTest, HexFileSavedWithAByteOrderMarkIsQuestionedAndNotSent) {
    Start();
    QFile hex("fw.hex");
    ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
    hex.write("\xEF\xBB\xBF\r\n:020000040800F2\r\n:10000000000102030405060708090A0B0C0D0E0F78\r\n");
    hex.close();
    const QString path = QFileInfo(hex).absoluteFilePath();
    window->ChooseFileName = [path] { return path; };
    messages.answer = false;
    window->Button1Click();
    EXPECT_EQ(messages.questions,
              QStringList{QStringLiteral(
                  "Файл похож на Intel HEX, а не на двоичный образ. Записать как есть?")});
    EXPECT_TRUE(window->Button2->isHidden());
    EXPECT_EQ(transfer.fileOpen, 0) << "nothing to start";
}

// The window's own link over RTU over TCP, through a relay that drops the connection after the
// last block's acknowledgement and before the closing frame.
TEST(FirmwareOverTcpEndToEndTest, CutBeforeTheClosingFrameIsNeverCalledFinished) {
    test::ScratchDir dir;
    test::MessageCapture messages;
    SimulatedUnit unit("--tcp", {"--flash-out", kFlashOut, "--ready-delay", "300"});
    ASSERT_TRUE(unit.Started());
    test::CuttingRelay relay(unit.PortName().section(':', -1).toUShort(),
                             QByteArray::fromHex("0106FFFD006E08004000"), 250);
    NetworkChannel channel;
    ASSERT_EQ(channel.OpenComPort(relay.PortName().toStdString(), 115200), kOpenOk);
    LinkState state;
    state.DeviceAddress = 1;
    test::QuietHost host;
    ModbusLink link(state, channel, host);
    QTimer receiver;
    QObject::connect(&receiver, &QTimer::timeout, [&] { link.Timer3Timer(); });
    receiver.start(kReceiveIntervalMs);
    FirmwareTransfer transfer;
    TForm4 window(transfer, state, channel, [](int, int) {});
    QFile file("firmware.bin");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Firmware(100));
    file.close();
    const QString path = QFileInfo(file).absoluteFilePath();
    window.ChooseFileName = [path] { return path; };
    window.Button1Click();
    window.Button2Click();

    QStringList shown;
    const bool ended = QTest::qWaitFor(
        [&] {
            if (shown.isEmpty() || shown.back() != window.Label2->text())
                shown << window.Label2->text();
            return !window.Button2->isHidden();
        },
        20000);
    ASSERT_TRUE(ended) << shown.join(" | ").toStdString();
    EXPECT_TRUE(relay.Cut());
    EXPECT_EQ(window.Label2->text(), QStringLiteral("Программирование не завершено: нет связи"));
    EXPECT_FALSE(shown.contains(QStringLiteral("Программирование завершено")))
        << shown.join(" | ").toStdString();
    EXPECT_FALSE(QFile::exists(kFlashOut));
    window.close();
}

} // namespace
} // namespace kvel
