// The firmware update window offscreen: its form, the file choice, start, close, and the menu
// item that opens it.
#include "Unit4.h"
#include "Crc16.h"
#include "FakeSerialChannel.h"
#include "FontChecks.h"
#include "Hex.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

using test::Hex;
using test::ToHex;
using test::WithCrc;

QString WriteFirmware(const QString& name, qint64 size) {
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(QByteArray(size, '\x5A'));
    return QFileInfo(file).absoluteFilePath();
}

class FirmwareWindowTest : public ::testing::Test {
protected:
    FirmwareWindowTest() {
        link.DeviceAddress = 1;
        link.Settings.baudIndexWord = 9;
        pollTimer.SetInterval(700);
        sendTimer.SetInterval(300);
    }

    std::unique_ptr<TForm4> Open() {
        link.ReadReplyWord = 1;
        link.WriteReplyWord = 0x1234;
        auto form =
            std::make_unique<TForm4>(transfer, link, channel, [this](int timer1Ms, int timer2Ms) {
                pollTimer.SetInterval(timer1Ms);
                sendTimer.SetInterval(timer2Ms);
            });
        return form;
    }
    void Choose(TForm4& form, const QString& path) {
        form.ChooseFileName = [path] { return path; };
        form.Button1Click();
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    LinkState link;
    FirmwareTransfer transfer;
    FormTimer pollTimer{[] {}};
    FormTimer sendTimer{[] {}};
};

TEST_F(FirmwareWindowTest, OpensAsTheDesignedFormWithTheStartButtonHidden) {
    const auto form = Open();
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Обновление программы ЗУЛ"));
    EXPECT_EQ(form->size(), QSize(572, 118));
    EXPECT_EQ(form->minimumSize(), form->maximumSize()) << "fixed border";
    EXPECT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Button1->text(), QStringLiteral("Файл"));
    EXPECT_EQ(form->Button1->geometry(), QRect(0, 0, 49, 25));
    EXPECT_EQ(form->Label1->geometry(), QRect(64, 0, 521, 33));
    EXPECT_TRUE(form->Label1->wordWrap());
    EXPECT_EQ(form->Label2->geometry(), QRect(168, 48, 281, 20));
    EXPECT_TRUE(test::HasCellHeight(form->Label2->font(), 16));
    EXPECT_TRUE(form->Label1->text().isEmpty());
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Старт"));
    EXPECT_EQ(form->Button2->geometry(), QRect(240, 80, 75, 25));
    EXPECT_TRUE(form->Button2->isHidden());
    EXPECT_FALSE(form->Timer1->IsRunning());
}

TEST_F(FirmwareWindowTest, CreationStopsPollingAndForgetsOldReplies) {
    const auto form = Open();
    EXPECT_FALSE(pollTimer.IsRunning());
    EXPECT_FALSE(sendTimer.IsRunning());
    EXPECT_EQ(link.ReadReplyWord, 0);
    EXPECT_EQ(link.WriteReplyWord, 0);
}

TEST_F(FirmwareWindowTest, ClosingRestartsPollingAt500And100WhateverItWasBefore) {
    const auto form = Open();
    form->close();
    EXPECT_EQ(pollTimer.Interval(), 500);
    EXPECT_EQ(sendTimer.Interval(), 100);
    EXPECT_FALSE(form->isVisible());
}

TEST_F(FirmwareWindowTest, ChosenFileShowsItsPathAndTotalAndOffersStart) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 2 * 2048 + 1));
    EXPECT_EQ(form->Label1->text(), QDir::toNativeSeparators(dir.File("fw.bin")));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Запись 0 блока из 3"));
    EXPECT_FALSE(form->Button2->isHidden());
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Старт"));
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(FirmwareWindowTest, CancelledChoiceChangesNothing) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 10));
    Choose(*form, QString());
    EXPECT_EQ(form->Label1->text(), QDir::toNativeSeparators(dir.File("fw.bin")));
    EXPECT_EQ(transfer.fileOpen, 1);
}

TEST_F(FirmwareWindowTest, FileThatCannotBeOpenedIsSaidSo) {
    const auto form = Open();
    Choose(*form, dir.File("absent.bin"));
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Ошибка открытия файла")});
    EXPECT_EQ(form->Label1->text(), QDir::toNativeSeparators(dir.File("absent.bin")));
    EXPECT_TRUE(form->Button2->isHidden());
}

TEST_F(FirmwareWindowTest, EmptyFileIsRefusedAndStartIsWithdrawn) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 10));
    Choose(*form, WriteFirmware("empty.bin", 0));
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("Файл пуст")));
    EXPECT_TRUE(form->Button2->isHidden());
    EXPECT_TRUE(form->Label2->text().isEmpty());
    EXPECT_TRUE(channel.writes.empty());
}

TEST_F(FirmwareWindowTest, StartWritesTheCommandHidesTheButtonAndTicksEvery1005Ms) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 10));
    form->Button2->click();
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(ToHex(channel.writes[0]), ToHex(WithCrc("01 06 FF FD 00 B9")));
    EXPECT_TRUE(form->Button2->isHidden());
    EXPECT_EQ(form->Timer1->Interval(), 1005);
}

TEST_F(FirmwareWindowTest, FinishedTransferOffersCloseWhichClosesTheWindow) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 10));
    form->Button2->click();
    link.ReadReplyWord = 1;
    form->Timer1Timer();
    link.WriteReplyWord = transfer.lastFrameCrc;
    form->Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Button2->isHidden(); }, 5000));
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Программирование завершено"));
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Закрыть"));
    EXPECT_FALSE(form->Button2->isHidden());
    form->Button2->click();
    EXPECT_FALSE(form->isVisible());
    EXPECT_FALSE(form->Timer1->IsRunning());
    EXPECT_EQ(pollTimer.Interval(), 500);
}

TEST_F(FirmwareWindowTest, LineLostAfterTheClosingFrameIsNotCalledFinished) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 10));
    form->Button2->click();
    link.ReadReplyWord = 1;
    form->Timer1Timer();
    link.WriteReplyWord = transfer.lastFrameCrc;
    form->Timer1Timer();
    ASSERT_EQ(channel.writes.back().size(), 13u) << "the closing frame";
    EXPECT_TRUE(form->Button2->isHidden()) << "no verdict before the closing pause ends";
    channel.vanished = true;
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->Button2->isHidden(); }, 5000));
    const QString text = QStringLiteral("Программирование не завершено: нет связи");
    EXPECT_EQ(form->Label2->text(), text);
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Закрыть"));
    EXPECT_LE(QFontMetrics(form->Label2->font()).horizontalAdvance(text), form->Label2->width());
}

TEST_F(FirmwareWindowTest, ClosingMidTransferClosesTheFile) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 3 * 2048));
    form->Button2->click();
    link.ReadReplyWord = 1;
    form->Timer1Timer();
    ASSERT_EQ(transfer.blocksSent, 1);
    form->close();
    EXPECT_FALSE(transfer.file.is_open());
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_EQ(transfer.silentTicks, 0);
    EXPECT_FALSE(form->Timer1->IsRunning());
    EXPECT_EQ(sendTimer.Interval(), 100);
}

TEST_F(FirmwareWindowTest, StartSendsNothingToTheBroadcastAddress) {
    link.DeviceAddress = 0;
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 2048));
    form->Button2->click();
    QApplication::processEvents();
    EXPECT_TRUE(channel.writes.empty());
    EXPECT_FALSE(form->Timer1->IsRunning());
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral("Адрес 0 — широковещательный: запись не отправлена")});
}

TEST_F(FirmwareWindowTest, FileThatLooksLikeTextOrElfIsUsedOnlyWhenConfirmed) {
    const auto form = Open();
    QFile hex("fw.hex");
    ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
    hex.write(":020000040800F2\r\n:10000000000102030405060708090A0B0C0D0E0F78\r\n");
    hex.close();
    const QString path = QFileInfo(hex).absoluteFilePath();

    messages.answer = false;
    Choose(*form, path);
    EXPECT_EQ(messages.questions,
              QStringList{QStringLiteral("Файл похож на Intel HEX, а не на двоичный образ. "
                                         "Записать как есть?")});
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_TRUE(form->Button2->isHidden());
    EXPECT_TRUE(form->Label1->text().isEmpty());

    messages.answer = true;
    Choose(*form, path);
    EXPECT_EQ(transfer.fileOpen, 1);
    EXPECT_FALSE(form->Button2->isHidden());
    EXPECT_EQ(form->Label2->text(), QStringLiteral("Запись 0 блока из 1"));

    messages.questions.clear();
    Choose(*form, WriteFirmware("fw.bin", 4096));
    EXPECT_TRUE(messages.questions.isEmpty());
    EXPECT_EQ(transfer.fileOpen, 1);
}

TEST_F(FirmwareWindowTest, AbandonedTransferStopsTicksAndItsTextFitsTheLabel) {
    const auto form = Open();
    Choose(*form, WriteFirmware("fw.bin", 3 * 2048));
    form->Button2->click();
    link.ReadReplyWord = 1;
    form->Timer1Timer();
    QStringList texts;
    for (int tick = 0; tick < 6 * 3 && form->Timer1->IsRunning(); ++tick) {
        form->Timer1Timer();
        texts << form->Label2->text();
    }
    EXPECT_FALSE(form->Timer1->IsRunning());
    EXPECT_EQ(form->Button2->text(), QStringLiteral("Закрыть"));
    EXPECT_FALSE(form->Button2->isHidden());
    const QFontMetrics metrics(form->Label2->font());
    for (const QString& text : texts)
        EXPECT_LE(metrics.horizontalAdvance(text), form->Label2->width()) << text.toStdString();
}

class UpdateMenuTest : public ::testing::Test {
protected:
    UpdateMenuTest() {
        QFile file("data.inf");
        if (file.open(QIODevice::WriteOnly)) file.write(QByteArray("\x01\x00\x09\x00\x01\x00", 6));
    }
    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
};

TEST_F(UpdateMenuTest, LoadedUnitGetsNoUpdateWindow) {
    TForm1 form(channel);
    TForm4* before = NewestWindow<TForm4>::Get();
    form.State().HoldingImage[1] = 123;
    form.N5->trigger();
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral("Для обновления ПО отключите нагрузку\n"
                                         "Ток нагрузки 12,3 A, допустимо не более 0,5 A")});
    EXPECT_EQ(NewestWindow<TForm4>::Get(), before);
    EXPECT_EQ(form.Timer1->Interval(), 500);
}

TEST_F(UpdateMenuTest, UnloadedUnitOpensANewWindowThatHoldsPollingUntilItCloses) {
    TForm1 form(channel);
    form.State().HoldingImage[1] = 5;
    form.N5->trigger();
    TForm4* first = NewestWindow<TForm4>::Get();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(form.Timer1->IsRunning());
    EXPECT_FALSE(form.Timer2->IsRunning());
    EXPECT_EQ(form.Timer3->Interval(), 100) << "the receiver keeps running";
    first->close();
    EXPECT_EQ(form.Timer1->Interval(), 500);
    EXPECT_EQ(form.Timer2->Interval(), 100);
    form.N5->trigger();
    EXPECT_NE(NewestWindow<TForm4>::Get(), first);
    EXPECT_TRUE(messages.texts.isEmpty());
}

} // namespace
} // namespace kvel
