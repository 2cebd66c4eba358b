// The connection parameters window on the real main window and link, with a fake port.
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel {
namespace {

const QString kNotAnInteger = QStringLiteral("Введите целое число");
const QString kNotAnAddress = QStringLiteral("Введите целое число до 255");

// Texts that are not integers to any reader of this window.
const QStringList kNotIntegers{"",    "abc", "99999999999", "2147483648", "$10", "0x10",
                               "1,5", "12a", "- 5",         "+",          "١٢",  QString(400, '9')};

class ConnectionWindowTest : public ::testing::Test {
protected:
    // data.inf: address 1, baud index as given, COM1.
    void Start(std::uint16_t baudIndex = 3) {
        QFile file("data.inf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const char bytes[6] = {
            1, 0, static_cast<char>(baudIndex & 0xFF), static_cast<char>(baudIndex >> 8), 1, 0};
        file.write(bytes, 6);
        file.close();
        main = std::make_unique<TForm1>(channel);
        main->show();
        window = OpenWindow();
    }

    TForm2* OpenWindow() {
        main->N2->trigger();
        QApplication::processEvents();
        return NewestWindow<TForm2>::Get();
    }

    void Enter(QLineEdit* edit, const QString& text, QPushButton* button) {
        edit->setText(text);
        QTest::mouseClick(button, Qt::LeftButton);
    }

    std::vector<ModbusRequest> Queued() { return test::QueuedRequests(main->State()); }

    void ExpectOnlyQueued(std::uint16_t reg, std::uint16_t value) {
        const auto queued = Queued();
        ASSERT_EQ(queued.size(), 1u);
        EXPECT_EQ(queued[0].function, 6);
        EXPECT_EQ(queued[0].reg, reg);
        EXPECT_EQ(queued[0].countOrValue, value);
    }

    bool Polling() const { return main->Timer1->IsRunning(); }
    void ExpectTimers(int t1, int t2, int t3) {
        EXPECT_EQ(main->Timer1->Interval(), t1);
        EXPECT_EQ(main->Timer2->Interval(), t2);
        EXPECT_EQ(main->Timer3->Interval(), t3);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    std::unique_ptr<TForm1> main;
    TForm2* window = nullptr;
};

TEST_F(ConnectionWindowTest, FormLooksAsDesigned) {
    Start();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Параметры соединения"));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    EXPECT_EQ(window->size(), QSize(436, 254));
    EXPECT_EQ((QStringList{window->StaticText1->text(), window->StaticText2->text(),
                           window->StaticText3->text(), window->StaticText4->text()}),
              (QStringList{"Номер COM-порта", "Скорость COM-порта", "Адрес", "Новый адрес"}));
    QStringList rates;
    for (int i = 0; i < window->ComboBox1->count(); ++i)
        rates << window->ComboBox1->itemText(i);
    EXPECT_EQ(rates, (QStringList{"1200", "2400", "4800", "9600", "14400", "19200", "38400",
                                  "56000", "57600", "115200"}));
    EXPECT_EQ(
        (QStringList{window->Button1->text(), window->Button2->text(), window->Button3->text(),
                     window->Button4->text(), window->Button5->text()}),
        (QStringList{"OK", "OK", "Соединить", "Сменить", "Закрыть"}));
    // Rows top to bottom, each label left of its entry and the entry left of its button.
    EXPECT_LT(window->Edit1->y(), window->ComboBox1->y());
    EXPECT_LT(window->ComboBox1->y(), window->Edit2->y());
    EXPECT_LT(window->Edit2->y(), window->Edit3->y());
    EXPECT_LT(window->Button4->y(), window->Button5->y());
    EXPECT_LT(window->StaticText2->geometry().right(), window->ComboBox1->x());
    EXPECT_LT(window->ComboBox1->geometry().right(), window->Button2->x());
    EXPECT_TRUE(window->rect().contains(window->Button5->geometry()));
}

TEST_F(ConnectionWindowTest, ActivationFillsTheFieldsFromTheSettingsInUse) {
    Start(9);
    EXPECT_EQ(window->Edit1->text(), "1");
    EXPECT_EQ(window->ComboBox1->currentIndex(), 9);
    EXPECT_EQ(window->Edit2->text(), "1");
    EXPECT_EQ(window->Edit3->text(), "");
}

TEST_F(ConnectionWindowTest, BaudIndexOutsideTheListSelectsNoRate) {
    for (std::uint16_t word : {std::uint16_t{0xFFFF}, std::uint16_t{0x0103}, std::uint16_t{10}}) {
        Start(word);
        EXPECT_EQ(window->ComboBox1->currentIndex(), -1) << word;
    }
}

TEST_F(ConnectionWindowTest, UnconfirmedPortNumberGivesWayOnReactivation) {
    Start();
    window->Edit1->setText("42");
    window->Edit2->setText("17");
    main->activateWindow();
    QApplication::processEvents();
    window->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(window->Edit1->text(), "1");
    EXPECT_EQ(window->Edit2->text(), "1");
    EXPECT_EQ(main->State().Settings.comPortWord, 1);
}

TEST_F(ConnectionWindowTest, PortNumberThatDoesNotReadStopsPollingAndKeepsThePort) {
    Start();
    for (const QString& text : kNotIntegers) {
        messages.texts.clear();
        main->Link().StartLinkTimers();
        Enter(window->Edit1, text, window->Button1);
        EXPECT_EQ(messages.texts, QStringList{kNotAnInteger}) << text.toStdString();
        ExpectTimers(0, 0, 0);
    }
    EXPECT_EQ(channel.opens.size(), 1u);
    EXPECT_EQ(channel.closes, 0);
    EXPECT_EQ(main->State().Settings.comPortWord, 1);
}

TEST_F(ConnectionWindowTest, PortNumberIsKeptToSixteenBitsAndOpenedAtTheStoredRate) {
    Start(5);
    const std::vector<std::pair<QString, int>> cases{
        {"7", 7},     {" +8 ", 8},  {"-1", 65535},      {"65536", 0},
        {"300", 300}, {"255", 255}, {"-2147483648", 0}, {"2147483647", 65535}};
    for (const auto& [text, port] : cases) {
        Enter(window->Edit1, text, window->Button1);
        ASSERT_FALSE(channel.opens.empty());
        EXPECT_EQ(channel.opens.back().name, "\\\\.\\COM" + std::to_string(port))
            << text.toStdString();
        EXPECT_EQ(channel.opens.back().bitRate, 19200);
        EXPECT_EQ(main->PanelText(1), QStringLiteral("COM%1").arg(port));
        EXPECT_EQ(main->State().Settings.comPortWord, port);
        ExpectTimers(500, 100, 100);
    }
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(channel.closes, static_cast<int>(cases.size()));
}

TEST_F(ConnectionWindowTest, PortThatCannotBeOpenedStopsPollingUntilAGoodOneIsConfirmed) {
    Start();
    channel.openResult = kOpenFailed;
    Enter(window->Edit1, "5", window->Button1);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Ошибка открытия COM порта")});
    EXPECT_FALSE(channel.isOpen);
    ExpectTimers(0, 0, 0);

    channel.openResult = kOpenOk;
    Enter(window->Edit1, "6", window->Button1);
    EXPECT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(channel.isOpen);
    EXPECT_EQ(channel.opens.back().name, "\\\\.\\COM6");
    EXPECT_EQ(channel.opens.back().bitRate, 9600);
    ExpectTimers(500, 100, 100);
}

// Nothing may look live after a port change that failed: not the last readings, nor a lit lamp.
TEST_F(ConnectionWindowTest, FailedPortChangeShowsTheLinkLoss) {
    Start();
    std::vector<std::uint16_t> input(21, 0);
    input[0] = 0x0001; // status: working
    std::vector<std::uint16_t> holding(27, 0);
    holding[3] = 545; // U вых
    test::DeliverReadReply(main->Link(), channel, 4, input);
    test::DeliverReadReply(main->Link(), channel, 3, holding);
    MainDisplay& display = main->Display();
    ASSERT_NE(display.Label1->text(), QStringLiteral("U вых"));
    ASSERT_EQ(display.Label8->palette().color(QPalette::Window), kOrange);

    channel.openResult = kOpenFailed;
    Enter(window->Edit1, "5", window->Button1);
    EXPECT_EQ(messages.texts, QStringList{QStringLiteral("Ошибка открытия COM порта")});
    EXPECT_EQ(display.Label1->text(), QStringLiteral("U вых"));
    EXPECT_EQ(display.Label8->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(main->PanelText(0), QStringLiteral("Нет связи"));
    EXPECT_EQ(main->State().HoldingImage[3], 0);
    // The receive indication's timer must not blank the loss a moment later.
    EXPECT_FALSE(main->Timer5->IsRunning());
}

TEST_F(ConnectionWindowTest, RateOkWithNoItemSelectedWritesFFFFAndReopensAt9600) {
    Start(9);
    window->ComboBox1->setCurrentIndex(-1);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(main->State().Settings.baudIndexWord, 0xFFFF);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("9600бод"));
    ExpectOnlyQueued(15, 0xFFFF);
    // The local port follows only once the scheduler has sent the write at the old rate.
    EXPECT_EQ(channel.opens.size(), 1u);
    main->State().DeviceAddress = 1;
    main->Link().Timer2Timer();
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(test::ToHex(channel.writes[0]), test::ToHex(test::WithCrc("01 06 00 0F FF FF")));
    ASSERT_EQ(channel.opens.size(), 2u);
    EXPECT_EQ(channel.opens[1].name, "\\\\.\\COM1");
    EXPECT_EQ(channel.opens[1].bitRate, 9600);
}

TEST_F(ConnectionWindowTest, RateOkStoresTheChosenIndexAndTellsTheUnit) {
    Start();
    window->ComboBox1->setCurrentIndex(7);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    EXPECT_EQ(main->State().Settings.baudIndexWord, 7);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("56000бод"));
    ExpectOnlyQueued(15, 7);
    EXPECT_TRUE(messages.texts.isEmpty());
}

// The line's rate is the server's: the list must not go on showing a rate that was refused.
TEST_F(ConnectionWindowTest, ARateRefusedOverANetworkLineGivesWayToTheStoredOne) {
    Start();
    main->State().NetworkPort = "tcp://10.0.0.5:4001";
    window->ComboBox1->setCurrentIndex(7);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_EQ(window->ComboBox1->currentIndex(), 3);
    EXPECT_EQ(main->State().Settings.baudIndexWord, 3);
    EXPECT_TRUE(Queued().empty());
}

TEST_F(ConnectionWindowTest, ConnectTalksToTheLowByteOfTheAddress) {
    Start();
    main->State().InputImage[0] = 0x1F;
    main->State().HoldingImage[3] = 540;
    Enter(window->Edit2, "300", window->Button3);
    EXPECT_EQ(main->State().DeviceAddress, 44);
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Адрес 44"));
    EXPECT_EQ(main->PanelText(0), QStringLiteral(" "));
    EXPECT_EQ(main->State().InputImage[0], 0);
    EXPECT_EQ(main->State().HoldingImage[3], 0);
    EXPECT_TRUE(Queued().empty());
    EXPECT_EQ(channel.opens.size(), 1u);

    main->Link().Timer1Timer();
    main->Link().Timer2Timer();
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(test::ToHex(channel.writes[0]), test::ToHex(test::WithCrc("2C 04 00 00 00 15")));
    EXPECT_EQ(main->PanelText(3), QStringLiteral("Адрес44"));
}

TEST_F(ConnectionWindowTest, ConnectTakesAnyIntegerModulo256) {
    Start();
    const std::vector<std::pair<QString, int>> cases{
        {"-1", 255}, {"300", 44}, {"255", 255}, {" 257", 1}, {"1", 1}};
    for (const auto& [text, address] : cases) {
        Enter(window->Edit2, text, window->Button3);
        EXPECT_EQ(main->State().DeviceAddress, address) << text.toStdString();
    }
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(ConnectionWindowTest, ConnectRefusesTheBroadcastAddress) {
    Start();
    Enter(window->Edit2, "7", window->Button3);
    for (const QString text : {"0", "256", " 65536", "-2147483648"}) {
        messages.texts.clear();
        Enter(window->Edit2, text, window->Button3);
        EXPECT_EQ(messages.texts, QStringList{kNotAnAddress}) << text.toStdString();
        EXPECT_EQ(main->State().DeviceAddress, 7) << text.toStdString();
    }
}

TEST_F(ConnectionWindowTest, ConnectRefusesWhatIsNotAnIntegerAndChangesNothing) {
    Start();
    main->SetStatusPanel(0, "ПРИЕМ ДАННЫХ");
    main->State().InputImage[0] = 0x1F;
    for (const QString& text : kNotIntegers) {
        messages.texts.clear();
        Enter(window->Edit2, text, window->Button3);
        EXPECT_EQ(messages.texts, QStringList{kNotAnAddress}) << text.toStdString();
    }
    EXPECT_EQ(main->State().DeviceAddress, 1);
    EXPECT_EQ(main->PanelText(0), QStringLiteral("ПРИЕМ ДАННЫХ"));
    EXPECT_EQ(main->State().InputImage[0], 0x1F);
}

TEST_F(ConnectionWindowTest, NewAddressAbove254OrNegativeIsRefused) {
    Start();
    QStringList refused = kNotIntegers;
    refused << "255"
            << "256"
            << "300"
            << "65536"
            << "-1"
            << "-2147483648";
    for (const QString& text : refused) {
        messages.texts.clear();
        Enter(window->Edit3, text, window->Button4);
        EXPECT_EQ(messages.texts, QStringList{kNotAnAddress}) << text.toStdString();
    }
    EXPECT_TRUE(Queued().empty());
}

TEST_F(ConnectionWindowTest, NewAddressUpTo254IsQueuedForTheUnitOnly) {
    Start();
    Enter(window->Edit3, "254", window->Button4);
    ExpectOnlyQueued(14, 254);
    main->State().QueueCount = 0;
    Enter(window->Edit3, " 1 ", window->Button4);
    ExpectOnlyQueued(14, 1);
    EXPECT_TRUE(messages.texts.isEmpty());
    // The program switches only once the scheduler has sent the write.
    EXPECT_EQ(main->State().DeviceAddress, 1);
}

TEST_F(ConnectionWindowTest, NothingGoesToTheBroadcastAddress) {
    Start();
    main->State().DeviceAddress = 0;
    window->ComboBox1->setCurrentIndex(9);
    QTest::mouseClick(window->Button2, Qt::LeftButton);
    Enter(window->Edit3, "5", window->Button4);
    QApplication::processEvents();
    EXPECT_TRUE(Queued().empty());
    const QString refused = QStringLiteral("Адрес 0 — широковещательный: запись не отправлена");
    EXPECT_EQ(messages.texts, (QStringList{refused, refused}));
    // The rate is not kept either: the unit never heard of it.
    EXPECT_EQ(main->State().Settings.baudIndexWord, 3);
    EXPECT_EQ(main->PanelText(2), QStringLiteral("9600бод"));
}

TEST_F(ConnectionWindowTest, CloseInEitherOfTwoWindowsClosesTheNewer) {
    Start();
    QPointer<TForm2> older = window;
    QPointer<TForm2> newer = OpenWindow();
    ASSERT_NE(older, newer);
    QTest::mouseClick(older->Button5, Qt::LeftButton);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(newer.isNull());
    ASSERT_FALSE(older.isNull());
    EXPECT_TRUE(older->isVisible());

    QPointer<TForm2> third = OpenWindow();
    QTest::mouseClick(third->Button5, Qt::LeftButton);
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(third.isNull());
    ASSERT_FALSE(older.isNull());
    EXPECT_TRUE(older->isVisible());
}

} // namespace
} // namespace kvel
