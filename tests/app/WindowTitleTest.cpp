// The titles the window system shows, read back from the X server: the forms' captions exactly,
// with nothing appended. Runs on a virtual X display, not offscreen, since the offscreen platform
// never formats a title.
#include "Application.h"
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "Unit6.h"
#include "Unit7.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace kvel {
namespace {

QString WindowSystemTitle(const QWidget& window) {
    QString title;
    (void)QTest::qWaitFor(
        [&] {
            QApplication::processEvents();
            QProcess xdotool;
            xdotool.start(QStringLiteral("xdotool"),
                          {QStringLiteral("getwindowname"), QString::number(window.winId())});
            xdotool.waitForFinished(5000);
            title = QString::fromUtf8(xdotool.readAllStandardOutput()).trimmed();
            return !title.isEmpty();
        },
        5000);
    return title;
}

TEST(WindowTitleTest, WindowSystemShowsTheCaptionsAsTheyStand) {
    ASSERT_EQ(QApplication::platformName(), QStringLiteral("xcb"));
    ConfigureApplication();
    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 form(channel);
    form.show();
    for (QAction* item : {form.N2, form.N3, form.N4, form.N5, form.N6, form.N7})
        item->trigger();
    const std::vector<std::pair<QWidget*, QString>> windows{
        {&form, "КВЕЛv1"},
        {NewestWindow<TForm2>::Get(), "Параметры соединения"},
        {NewestWindow<TForm3>::Get(), "Установки"},
        {NewestWindow<TForm4>::Get(), "Обновление программы ЗУЛ"},
        {NewestWindow<TForm5>::Get(), "Калибровка"},
        {NewestWindow<TForm6>::Get(), "Версия ПО ЗУЛ"},
        {NewestWindow<TForm7>::Get(), "Сервисная информация"}};
    for (const auto& [window, caption] : windows) {
        ASSERT_NE(window, nullptr) << caption.toStdString();
        EXPECT_EQ(WindowSystemTitle(*window).toStdString(), caption.toStdString());
    }
}

} // namespace
} // namespace kvel
