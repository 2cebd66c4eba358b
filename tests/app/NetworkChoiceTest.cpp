// "Подключить" in "Сетевое подключение" keeps the choice in network.ini at once; when it cannot,
// a box over that window says why, and the line is used all the same.
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "NetworkLine.h"
#include "NetworkWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kvel {
namespace {

class NetworkChoiceTest : public ::testing::Test {
protected:
    NetworkWindow* OpenNetworkWindow() {
        form.show();
        form.ServiceItem(QStringLiteral("Сетевое подключение…"))->trigger();
        const QList<NetworkWindow*> windows = form.findChildren<NetworkWindow*>();
        return windows.isEmpty() ? nullptr : windows.last();
    }

    static void TypeInto(QLineEdit* edit, const QString& text) {
        QTest::mouseClick(edit, Qt::LeftButton);
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    test::ScratchDir dir;
    test::FakeSerialChannel channel;
    TForm1 form{channel};
};

TEST_F(NetworkChoiceTest, AChoiceThatCannotBeKeptIsSaidInABoxOverTheNetworkWindow) {
    NetworkWindow* network = OpenNetworkWindow();
    ASSERT_NE(network, nullptr);
    TypeInto(network->HostEdit, "10.0.0.5");
    TypeInto(network->PortEdit, "4001");
    // Where the new file would be written stands something no file can replace.
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("network.ini.new/keep")));

    QString said;
    QWidget* over = nullptr;
    QTimer::singleShot(0, network, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr) << "no box";
        said = box->text();
        over = box->parentWidget();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QTest::mouseClick(network->ConnectButton, Qt::LeftButton);
    EXPECT_TRUE(said.startsWith(QStringLiteral("Не удалось сохранить network.ini: ")))
        << said.toStdString();
    EXPECT_EQ(over, network);
    EXPECT_EQ(form.State().NetworkPort, "tcp://10.0.0.5:4001") << "used all the same";

    ASSERT_TRUE(QDir(QStringLiteral("network.ini.new")).removeRecursively());
    test::MessageCapture messages;
    QTest::mouseClick(network->ConnectButton, Qt::LeftButton);
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    std::string problem;
    const NetworkChoice kept = ReadNetworkChoice(kNetworkIniName, problem);
    EXPECT_EQ(kept.port, "tcp://10.0.0.5:4001") << problem;
    EXPECT_TRUE(kept.inUse);
}

} // namespace
} // namespace kvel
