// The window "Сетевое подключение" driven as the operator does: a recent line chosen from its
// list fills host, port and protocol, and "Подключить" connects to it.
#include "NetworkWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

TEST(NetworkWindowTest, ARecentLineChosenFillsTheFieldsAndConnects) {
    std::string connected;
    auto* window = new NetworkWindow("tcp://10.0.0.5:4001",
                                     {"rfc2217://127.0.0.1:4001", "modbus-tcp://[::1]:1502"},
                                     [&](const std::string& name) {
                                         connected = name;
                                         return std::string();
                                     });
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    EXPECT_EQ(window->RecentBox->count(), 2);
    EXPECT_EQ(window->RecentBox->currentIndex(), -1) << "nothing chosen until the operator does";
    QTest::mouseClick(window->PortEdit, Qt::LeftButton);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), window->RecentBox);

    const struct {
        const char* host;
        const char* port;
        int protocolItem;
        const char* name;
    } choices[] = {{"127.0.0.1", "4001", 2, "rfc2217://127.0.0.1:4001"},
                   {"::1", "1502", 1, "modbus-tcp://[::1]:1502"}};
    for (const auto& choice : choices) {
        QTest::keyClick(window->RecentBox, Qt::Key_Down);
        EXPECT_EQ(window->HostEdit->text(), choice.host);
        EXPECT_EQ(window->PortEdit->text(), choice.port);
        EXPECT_EQ(window->ProtocolBox->currentIndex(), choice.protocolItem);
        QTest::mouseClick(window->ConnectButton, Qt::LeftButton);
        EXPECT_EQ(connected, choice.name);
    }
    window->close();
}

TEST(NetworkWindowTest, NoRecentLineLeavesTheListOff) {
    auto* window = new NetworkWindow("", {}, [](const std::string&) { return std::string(); });
    EXPECT_FALSE(window->RecentBox->isEnabled());
    window->close();
}

} // namespace
} // namespace kvel
