// The main window's frame: start-up paths, status bar, menu, closing.
#include "DataInfFile.h"
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>

#include <gtest/gtest.h>

namespace kvel {
namespace {

using test::ReadDataInf;
using test::WriteDataInf;

class MainWindowFrameTest : public ::testing::Test {
protected:
    void ExpectTimers(int t1, int t2, int t3, TForm1& form) {
        EXPECT_EQ(form.Timer1->Interval(), t1);
        EXPECT_EQ(form.Timer2->Interval(), t2);
        EXPECT_EQ(form.Timer3->Interval(), t3);
        EXPECT_EQ(form.Timer5->Interval(), 0);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
};

TEST_F(MainWindowFrameTest, WithoutDataInfOpensNothingAndStaysQuiet) {
    TForm1 form(channel);
    EXPECT_TRUE(channel.opens.empty());
    EXPECT_TRUE(messages.texts.isEmpty());
    ExpectTimers(0, 0, 0, form);
    for (int panel = 0; panel < 4; ++panel)
        EXPECT_EQ(form.PanelText(panel), QString());
}

TEST_F(MainWindowFrameTest, FailedOpenShowsMessageAndStopsTimers) {
    WriteDataInf(QByteArray("\x01\x00\x05\x00\x07\x00", 6));
    channel.openResult = kOpenFailed;
    TForm1 form(channel);
    ASSERT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.opens[0].name, "\\\\.\\COM7");
    EXPECT_EQ(channel.opens[0].bitRate, 19200);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Ошибка открытия COM порта")});
    ExpectTimers(0, 0, 0, form);
    EXPECT_EQ(form.PanelText(1), QStringLiteral("COM7"));
    EXPECT_EQ(form.PanelText(2), QStringLiteral("19200бод"));
}

TEST_F(MainWindowFrameTest, FourByteFileLeavesPortZeroAndTheOpenFails) {
    WriteDataInf(QByteArray("\x02\x00\x09\x00", 4));
    channel.openResult = kOpenFailed;
    TForm1 form(channel);
    ASSERT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.opens[0].name, "\\\\.\\COM0");
    EXPECT_EQ(channel.opens[0].bitRate, 115200);
    EXPECT_EQ(form.State().DeviceAddress, 2);
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(MainWindowFrameTest, GoodPortStartsPolling) {
    WriteDataInf(QByteArray("\x05\x01\xFF\xFF\x0C\x00", 6));
    TForm1 form(channel);
    ASSERT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.opens[0].name, "\\\\.\\COM12");
    EXPECT_EQ(channel.opens[0].bitRate, 9600);
    EXPECT_EQ(form.State().DeviceAddress, 5);
    EXPECT_TRUE(messages.texts.isEmpty());
    ExpectTimers(500, 100, 100, form);
    EXPECT_EQ(form.PanelText(2), QStringLiteral("9600бод"));
}

TEST_F(MainWindowFrameTest, ClosingClosesPortThenSavesAddressWithHighByteZero) {
    WriteDataInf(QByteArray("\x05\x01\x03\x00\x01\x00\x77", 7));
    {
        TForm1 form(channel);
        form.State().Settings.baudIndexWord = 9;
        form.close();
        EXPECT_FALSE(channel.isOpen);
    }
    EXPECT_EQ(ReadDataInf(), QByteArray("\x05\x00\x09\x00\x01\x00\x77", 7));
}

TEST_F(MainWindowFrameTest, FirstRunCreatesDataInfAtExit) {
    {
        TForm1 form(channel);
        form.close();
    }
    EXPECT_EQ(ReadDataInf().size(), 6);
}

TEST_F(MainWindowFrameTest, FormLooksAsDesigned) {
    TForm1 form(channel);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("КВЕЛv1"));
    EXPECT_EQ(form.font().family(), QStringLiteral("Arial"));
    const QList<QAction*> menus = form.menuBar()->actions();
    // "Меню" as designed, and beside it the service tools' menu.
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), QStringLiteral("Меню"));
    EXPECT_EQ(menus[1]->text(), QStringLiteral("Сервис"));
    QStringList items;
    for (QAction* item : menus[0]->menu()->actions())
        items << item->text();
    EXPECT_EQ(items,
              (QStringList{"Параметры соединения", "Установки", "Калибровки", "Обновление ПО",
                           "Версия ПО ЗУЛ", "Сервисная информация", "Выход"}));
    EXPECT_EQ(form.Edit1->geometry(), QRect(-24, 32, 25, 22));
}

TEST_F(MainWindowFrameTest, ActivationPutsFocusOnTheSink) {
    TForm1 form(channel);
    form.show();
    form.activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), form.Edit1);
}

TEST_F(MainWindowFrameTest, UpdateRefusedWhileTheUnitIsLoaded) {
    TForm1 form(channel);
    form.State().HoldingImage[1] = 6;
    form.N5->trigger();
    EXPECT_EQ(messages.texts,
              QStringList{QStringLiteral("Для обновления ПО отключите нагрузку\n"
                                         "Ток нагрузки 0,6 A, допустимо не более 0,5 A")});
    form.State().HoldingImage[1] = 5;
    form.N5->trigger();
    EXPECT_EQ(messages.texts.size(), 1);
}

TEST_F(MainWindowFrameTest, ReferenceNamesTheNewestMainWindow) {
    TForm1 first(channel);
    TForm1 second(channel);
    EXPECT_EQ(NewestWindow<TForm1>::Get(), &second);
}

TEST_F(MainWindowFrameTest, ExitItemClosesTheWindow) {
    TForm1 form(channel);
    form.show();
    form.N8->trigger();
    EXPECT_FALSE(form.isVisible());
}

} // namespace
} // namespace kvel
