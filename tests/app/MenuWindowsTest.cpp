// The menu items that open the connection, version and service windows, and what those
// windows read from the main window.
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QAction>
#include <QApplication>
#include <QLabel>

#include <gtest/gtest.h>

namespace kvel {
namespace {

class MenuWindowsTest : public ::testing::Test {
protected:
    MenuWindowsTest() : main(channel) { main.State().DeviceAddress = 1; }

    template <class Form> int OpenCount() const { return main.findChildren<Form*>().size(); }

    // The unit answers the input-register poll with `words` from register 0 on.
    void InputReply(const std::vector<std::uint16_t>& words) {
        test::DeliverReadReply(main.Link(), channel, 4, words);
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 main;
};

TEST_F(MenuWindowsTest, EachChoiceOpensAnotherWindowAndTheReferenceNamesTheNewest) {
    main.N2->trigger();
    main.N2->trigger();
    main.N6->trigger();
    main.N6->trigger();
    main.N7->trigger();
    main.N7->trigger();
    EXPECT_EQ(OpenCount<TForm2>(), 2);
    EXPECT_EQ(OpenCount<TForm6>(), 2);
    EXPECT_EQ(OpenCount<TForm7>(), 2);
    EXPECT_EQ(NewestWindow<TForm2>::Get(), main.findChildren<TForm2*>().last());
    EXPECT_EQ(NewestWindow<TForm6>::Get(), main.findChildren<TForm6*>().last());
    EXPECT_EQ(NewestWindow<TForm7>::Get(), main.findChildren<TForm7*>().last());
    EXPECT_TRUE(NewestWindow<TForm2>::Get()->isVisible());
    EXPECT_TRUE(NewestWindow<TForm6>::Get()->isVisible());
    EXPECT_TRUE(NewestWindow<TForm7>::Get()->isVisible());
    EXPECT_TRUE(messages.texts.isEmpty());
}

TEST_F(MenuWindowsTest, VersionWindowShowsTheLastInputReply) {
    main.N6->trigger();
    TForm6* window = NewestWindow<TForm6>::Get();
    InputReply(
        {0x0001, 312, 2012, 0x010C, 0x0107, 45, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    window->Timer1Timer();
    EXPECT_EQ(window->Label5->text(), QStringLiteral("Версия ПО:  312"));
    EXPECT_EQ(window->Label1->text(), QStringLiteral("Дата компиляции программы: 7.12.2012"));
    EXPECT_EQ(window->Label2->text(), QStringLiteral("Номер компиляции: 45"));
}

TEST_F(MenuWindowsTest, ServiceWindowShowsTheCorrectionOfTheLastInputReply) {
    main.N7->trigger();
    TForm7* window = NewestWindow<TForm7>::Get();
    std::vector<std::uint16_t> words(21, 0);
    words[20] = 65531;
    InputReply(words);
    window->Timer1Timer();
    EXPECT_EQ(window->Label1->text(), QStringLiteral("Коррекция выходного напряжения: -0,5В"));
    main.Link().netu_svyasi();
    window->Timer1Timer();
    EXPECT_EQ(window->Label1->text(), QStringLiteral("Коррекция выходного напряжения: 0,0В"));
    EXPECT_TRUE(window->isVisible());
}

} // namespace
} // namespace kvel
