// The connection window's port list, the dosdevices links it makes on Linux, and the open-error
// boxes that say why a port would not open.
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"
#include "Unit2.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <memory>

namespace kvel {
namespace {

const QString kOpenError = QStringLiteral("Ошибка открытия COM порта");

// A file stands in for each device: the window and the links only need a path.
class PortListTest : public ::testing::Test {
protected:
    PortListTest() {
        QDir().mkpath("devices");
        for (const char* name : {"devices/ttyUSB0", "devices/ttyUSB1", "devices/ttyACM0"}) {
            QFile device(name);
            device.open(QIODevice::WriteOnly);
        }
        ports = {{Device("ttyUSB0"), "ttyUSB0", "FT232R USB UART"},
                 {Device("ttyUSB1"), "ttyUSB1", "CP2102 USB to UART Bridge Controller"},
                 {Device("ttyACM0"), "ttyACM0", ""}};
        TForm2::SetPortLister([this] { return ports; });
        QDir().mkpath("dosdevices");
    }
    ~PortListTest() override {
        delete main;
        TForm2::SetPortLister({});
    }

    QString Device(const QString& name) const { return dir.File("devices/" + name); }

    // data.inf names COM `port`; the main window starts on `channel`.
    void Start(SerialChannel& channel, std::uint16_t port = 1) {
        QFile file("data.inf");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        const char bytes[6] = {1, 0, 3, 0, static_cast<char>(port), 0};
        file.write(bytes, 6);
        file.close();
        main = new TForm1(channel);
        main->show();
        main->N2->trigger();
        QApplication::processEvents();
        window = NewestWindow<TForm2>::Get();
        ASSERT_NE(window, nullptr);
    }

    QStringList Items() const {
        QStringList items;
        for (int i = 0; i < window->ComboBox2->count(); ++i)
            items << window->ComboBox2->itemText(i);
        return items;
    }

    // As a person does: into Edit1, Tab to the port list, then the arrow keys.
    void ChooseWithKeys(int steps) {
        QTest::mouseClick(window->Edit1, Qt::LeftButton);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        ASSERT_EQ(QApplication::focusWidget(), window->ComboBox2);
        for (int i = 0; i < steps; ++i)
            QTest::keyClick(window->ComboBox2, Qt::Key_Down);
    }

    static void Link(const QString& link, const QString& target) {
        ASSERT_TRUE(QFile::link(target, link));
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    std::vector<SerialPortEntry> ports;
    TForm1* main = nullptr;
    TForm2* window = nullptr;
};

TEST_F(PortListTest, ListsEachPortWithItsComNumberAndDescription) {
    Link("dosdevices/com4", Device("ttyUSB0"));
    Link("dosdevices/com2", Device("ttyACM0"));
    test::FakeSerialChannel channel;
    Start(channel);
    EXPECT_EQ(Items(), (QStringList{"COM4 — ttyUSB0, FT232R USB UART",
                                    "COM? — ttyUSB1, CP2102 USB to UART Bridge Controller",
                                    "COM2 — ttyACM0"}));
    // The list sits beside Edit1, under it, and inside the window.
    EXPECT_GT(window->ComboBox2->y(), window->Edit1->y());
    EXPECT_LT(window->ComboBox2->y(), window->ComboBox1->y());
    EXPECT_EQ(window->Button6->text(), QStringLiteral("Обновить"));
    EXPECT_TRUE(window->rect().contains(window->ComboBox2->geometry()));
    EXPECT_TRUE(window->rect().contains(window->Button6->geometry()));
}

TEST_F(PortListTest, StoredPortIsSelectedAndChoosingAnotherFillsEdit1Only) {
    Link("dosdevices/com4", Device("ttyUSB0"));
    Link("dosdevices/com2", Device("ttyACM0"));
    test::FakeSerialChannel channel;
    Start(channel, 2);
    EXPECT_EQ(window->ComboBox2->currentIndex(), 2);
    EXPECT_EQ(window->Edit1->text(), "2");

    ChooseWithKeys(0);
    QTest::keyClick(window->ComboBox2, Qt::Key_Up);
    QTest::keyClick(window->ComboBox2, Qt::Key_Up);
    EXPECT_EQ(window->Edit1->text(), "4");
    EXPECT_EQ(channel.opens.size(), 1u) << "nothing opens before OK";

    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_EQ(channel.opens.back().name, R"(\\.\COM4)");
    EXPECT_EQ(main->State().Settings.comPortWord, 4);
    EXPECT_EQ(main->PanelText(1), "COM4");
}

TEST_F(PortListTest, DeviceWithoutANumberGetsTheLowestFreeOneOnOk) {
    // 1 is taken by a link to a device that is gone, 2 by a listed port, 3 by /dev/ttyS2's
    // own number when it is listed.
    Link("dosdevices/com1", Device("unplugged"));
    Link("dosdevices/com2", Device("ttyUSB0"));
    ports.push_back({"/dev/ttyS2", "ttyS2", ""});
    test::FakeSerialChannel channel;
    Start(channel, 2);
    ASSERT_EQ(Items()[1], QStringLiteral("COM? — ttyUSB1, CP2102 USB to UART Bridge Controller"));
    ASSERT_EQ(Items()[3], QStringLiteral("COM3 — ttyS2"));

    ChooseWithKeys(1);
    EXPECT_EQ(window->Edit1->text(), "4");
    EXPECT_FALSE(QFileInfo("dosdevices/com4").isSymLink()) << "nothing is made before OK";
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_EQ(QFileInfo("dosdevices/com4").symLinkTarget(), Device("ttyUSB1"));
    EXPECT_EQ(channel.opens.back().name, R"(\\.\COM4)");
    EXPECT_EQ(Items()[1], QStringLiteral("COM4 — ttyUSB1, CP2102 USB to UART Bridge Controller"));
    EXPECT_TRUE(messages.texts.isEmpty());

    // Chosen again, it keeps its number.
    ChooseWithKeys(0);
    QTest::keyClick(window->ComboBox2, Qt::Key_Up);
    EXPECT_EQ(window->Edit1->text(), "2");
    QTest::keyClick(window->ComboBox2, Qt::Key_Down);
    EXPECT_EQ(window->Edit1->text(), "4");
    EXPECT_FALSE(QFileInfo::exists("dosdevices/com5"));
}

TEST_F(PortListTest, AChoiceLeftWithoutOkMakesNoLink) {
    test::FakeSerialChannel channel;
    Start(channel);
    ChooseWithKeys(1);
    ASSERT_EQ(window->Edit1->text(), "1");
    QTest::mouseClick(window->Button5, Qt::LeftButton);
    EXPECT_TRUE(QDir("dosdevices")
                    .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                    .isEmpty());
    EXPECT_EQ(channel.opens.size(), 1u);
}

TEST_F(PortListTest, ADeviceUnpluggedBeforeOkGetsNoLinkAndShowsTheLoss) {
    test::FakeSerialChannel channel;
    Start(channel, 7);
    ChooseWithKeys(2);
    ASSERT_EQ(window->Edit1->text(), "1");
    ports.erase(ports.begin() + 1);
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_EQ(messages.texts, QStringList{kOpenError + "\n" + Device("ttyUSB1") +
                                          QStringLiteral(": нет такого устройства")});
    EXPECT_FALSE(QFileInfo("dosdevices/com1").isSymLink());
    EXPECT_EQ(channel.opens.size(), 1u) << "nothing else is opened in its place";
    EXPECT_EQ(main->PanelText(0), QStringLiteral("Нет связи"));
    EXPECT_FALSE(main->Timer1->IsRunning());
    EXPECT_FALSE(channel.isOpen);
    EXPECT_EQ(main->State().Settings.comPortWord, 7);
}

TEST_F(PortListTest, LinkThatCannotBeMadeIsReportedOnOk) {
    test::FakeSerialChannel channel;
    Start(channel);
    QDir("dosdevices").removeRecursively();
    QFile blocker("dosdevices");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    ChooseWithKeys(1);
    EXPECT_TRUE(messages.texts.isEmpty());
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(QStringLiteral("не удалось создать папку")))
        << messages.texts[0].toStdString();
    EXPECT_EQ(channel.opens.size(), 1u);
}

TEST_F(PortListTest, RefreshButtonAndActivationListThePortsAgain) {
    test::FakeSerialChannel channel;
    Start(channel);
    ASSERT_EQ(window->ComboBox2->count(), 3);
    ports.pop_back();
    QTest::mouseClick(window->Button6, Qt::LeftButton);
    EXPECT_EQ(window->ComboBox2->count(), 2);

    ports.push_back({Device("ttyACM0"), "ttyACM0", "plugged in again"});
    main->activateWindow();
    QApplication::processEvents();
    window->activateWindow();
    QApplication::processEvents();
    EXPECT_TRUE(QTest::qWaitFor([this] { return window->ComboBox2->count() == 3; }, 1000));
    EXPECT_EQ(Items()[2], QStringLiteral("COM? — ttyACM0, plugged in again"));
}

TEST_F(PortListTest, EachOpenErrorReasonShowsOnTheSecondLine) {
    test::FakeSerialChannel channel;
    Start(channel);
    const std::vector<std::pair<OpenFailure, QString>> cases{
        {{OpenFailureReason::NoSuchDevice, "/dev/ttyUSB0", "", ""},
         "/dev/ttyUSB0: нет такого устройства"},
        {{OpenFailureReason::Busy, "/dev/ttyUSB0", "kvel (pid 812)", ""},
         "/dev/ttyUSB0: порт занят другой программой: kvel (pid 812)"},
        {{OpenFailureReason::NoPermission, "/dev/ttyUSB0", "", ""},
         "/dev/ttyUSB0: нет прав доступа, добавьте пользователя в группу dialout"},
        {{OpenFailureReason::NotSerialPort, "/home/op/notes.txt", "", ""},
         "/home/op/notes.txt: это не последовательный порт"},
    };
    channel.openResult = kOpenFailed;
    for (const auto& [failure, secondLine] : cases) {
        channel.openFailure = failure;
        messages.texts.clear();
        window->Edit1->setText("3");
        QTest::mouseClick(window->Button1, Qt::LeftButton);
        EXPECT_EQ(messages.texts, QStringList{kOpenError + "\n" + secondLine});
        EXPECT_FALSE(main->Timer1->IsRunning());
    }
}

// COM0 names no port, so the main window starts without one open.
class RealPortListTest : public PortListTest {
protected:
    ~RealPortListTest() override {
        delete main;
        main = nullptr;
    }
    SystemSerialChannel channel;
};

TEST_F(RealPortListTest, EntryWhoseDeviceVanishedBeforeOkSaysSo) {
    Link("dosdevices/com4", Device("ttyUSB0"));
    Start(channel, 0);
    ChooseWithKeys(1);
    ASSERT_EQ(window->Edit1->text(), "4");
    QFile::remove(Device("ttyUSB0"));
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    EXPECT_EQ(messages.texts.value(messages.texts.size() - 1),
              kOpenError + "\n" + Device("ttyUSB0") + QStringLiteral(": нет такого устройства"));
}

TEST_F(RealPortListTest, PortHeldByAnotherProgramIsBusyWithItsName) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const QString terminal = QString::fromLocal8Bit(::ptsname(master));
    Link("dosdevices/com5", terminal);
    SystemSerialChannel other;
    ASSERT_EQ(other.OpenComPort(R"(\\.\COM5)", 9600), kOpenOk);

    Start(channel, 0);
    messages.texts.clear();
    window->Edit1->setText("5");
    QTest::mouseClick(window->Button1, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    const QStringList lines = messages.texts[0].split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0], kOpenError);
    EXPECT_TRUE(lines[1].startsWith(terminal + QStringLiteral(": порт занят другой программой: ")))
        << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QStringLiteral("(pid %1)").arg(::getpid())));
    other.CloseComPort();
    ::close(master);
}

} // namespace
} // namespace kvel
