// A room added from outside the main window: registered from this test alone, it hands the main
// window its items, its observer and its link cause, is told of the close, and borrows the line.
#include "RoomRegistry.h"
#include "FakeSerialChannel.h"
#include "LineLender.h"
#include "LinkWords.h"
#include "RecordingObserver.h"
#include "RoomHook.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include <gtest/gtest.h>

namespace kvel {
namespace {

// Between the bus overview (30) and the network line (40).
constexpr int kTestRoomPlace = 35;

class TestRoom : public RoomHook {
public:
    explicit TestRoom(RoomHost& host)
        : RoomHook(&host.Window()), host(host),
          item(new QAction(QStringLiteral("Проверка комнаты"), this)) {
        connect(item, &QAction::triggered, this, [this] { portSeen = this->host.PortLabel(); });
    }

    QList<QAction*> ServiceItems() const override { return {item}; }
    LinkObserver* Observer() override { return &observer; }
    QString LinkCause() const override { return cause; }
    void FormClose() override { ++closes; }

    RoomHost& host;
    QAction* item;
    test::RecordingObserver observer;
    QString cause;
    std::string portSeen;
    int closes = 0;
};

const RoomRegistrar registrar{kTestRoomPlace, [](RoomHost& host) { return new TestRoom(host); }};

class RoomRegistryTest : public ::testing::Test {
protected:
    QStringList ServiceTexts() {
        QStringList texts;
        const QList<QAction*> menus = form.menuBar()->actions();
        for (QAction* item : menus.at(1)->menu()->actions())
            texts << item->text();
        return texts;
    }

    test::ScratchDir dir;
    test::FakeSerialChannel channel;
    TForm1 form{channel};
    TestRoom& room = *form.Room<TestRoom>();
};

TEST_F(RoomRegistryTest, ItsItemStandsInServiceAtItsPlaceAmongTheRooms) {
    EXPECT_EQ(
        ServiceTexts(),
        (QStringList{"Поиск устройства", "Монитор обмена", "Обзор шины", "Проверка комнаты",
                     "Сетевое подключение…", "Сохранить установки в файл…", "Сравнить с файлом…",
                     "Записать из файла…", "Журнал", "График", "Отчёт для сервиса…"}));
    EXPECT_EQ(form.ServiceItem(QStringLiteral("Проверка комнаты")), room.item);
}

TEST_F(RoomRegistryTest, ItsItemReachesTheRoomWithTheMainWindowAsHost) {
    form.State().Settings.comPortWord = 7;
    form.ServiceItem(QStringLiteral("Проверка комнаты"))->trigger();
    EXPECT_EQ(room.portSeen, "COM7");
    EXPECT_EQ(room.parent(), &form);
}

TEST_F(RoomRegistryTest, ItsObserverHearsTheLinkAndTheCloseReachesIt) {
    form.Link().DeclareLinkLost();
    EXPECT_EQ(room.observer.losses.size(), 1u);
    EXPECT_EQ(room.observer.zeroings, 1);
    form.close();
    EXPECT_EQ(room.closes, 1);
}

TEST_F(RoomRegistryTest, PanelZeroTellsTheCauseTheRoomKnows) {
    auto* panel = form.statusBar()->findChildren<QLabel*>().at(kPanelLink);
    room.cause = QStringLiteral("Нет связи: проверка");
    form.ShowLinkStatus(LinkStatus::Lost);
    EXPECT_EQ(panel->text(), QStringLiteral("Нет связи"));
    EXPECT_EQ(panel->toolTip(), room.cause);
    room.cause.clear();
    form.ShowLinkStatus(LinkStatus::Idle);
    EXPECT_TRUE(panel->toolTip().isEmpty());
}

// One borrower at a time: asking again while one holds the line opens nothing new.
TEST_F(RoomRegistryTest, TheLineGoesToOneBorrowerAtATime) {
    bool holding = true;
    int opened = 0;
    const auto open = [&] {
        ++opened;
        return new QWidget(&form, Qt::Window);
    };
    const auto stillHolding = [&](QWidget&) { return holding; };
    form.Line().Lend(open, stillHolding);
    form.Line().Lend(open, stillHolding);
    EXPECT_EQ(opened, 1);
    holding = false;
    form.Line().Lend(open, stillHolding);
    EXPECT_EQ(opened, 2);
    holding = true;
    for (QWidget* window : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (window->isWindow()) delete window;
    form.Line().Lend(open, stillHolding);
    EXPECT_EQ(opened, 3);
}

TEST_F(RoomRegistryTest, FoundUnitsStayForTheNextBorrower) {
    FinderHost& lender = form.Line();
    lender.UnitsFound({FoundUnit{3, 9, {}}, FoundUnit{5, 3, {}}});
    ASSERT_EQ(form.Line().LastFound().size(), 2u);
    EXPECT_EQ(form.Line().LastFound()[1].address, 5);
}

} // namespace
} // namespace kvel
