// Firmware uploads from the real window, link and serial channel to kvel-sim over a
// pseudo-terminal at 115200 bit/s, checked against the image the simulated unit wrote down.
#include "RegisterMap.h"
#include "Unit4.h"
#include "WindowProgramFixture.h"

#include <QLabel>
#include <QPushButton>

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

} // namespace
} // namespace kvel
