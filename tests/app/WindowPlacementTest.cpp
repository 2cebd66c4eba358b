// Every window of the program on a small screen made smaller by a scale factor (1280 x 1024 at
// QT_SCALE_FACTOR=2, so 640 x 512 to the program): each opens inside the free area, and a
// window's question opens above the window that asked it.
#include "FakeSerialChannel.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <optional>

namespace kvel {
namespace {

class WindowPlacementTest : public ::testing::Test {
protected:
    WindowPlacementTest() : main(channel) {
        main.show();
        area = main.screen()->availableGeometry();
    }

    // Every item of every menu but "Выход", submenus' items included.
    QList<QAction*> WindowItems() const {
        QList<QAction*> items;
        QList<QMenu*> menus;
        for (QAction* top : main.menuBar()->actions())
            if (top->menu()) menus << top->menu();
        while (!menus.isEmpty()) {
            for (QAction* item : menus.takeFirst()->actions()) {
                if (item->menu())
                    menus << item->menu();
                else if (!item->isSeparator() && item != main.N8)
                    items << item;
            }
        }
        return items;
    }

    void ExpectInside(const QWidget* window, const QString& item) {
        EXPECT_TRUE(area.contains(window->frameGeometry()))
            << item.toStdString() << " → " << window->windowTitle().toStdString() << " at "
            << window->frameGeometry().x() << "," << window->frameGeometry().y() << " "
            << window->frameGeometry().width() << "x" << window->frameGeometry().height();
        // A window made smaller than designed still shows every button it has.
        for (const QAbstractButton* button : window->findChildren<QAbstractButton*>())
            if (button->isVisibleTo(window) && button->window() == window)
                EXPECT_TRUE(window->rect().contains(
                    QRect(button->mapTo(window, QPoint(0, 0)), button->size())))
                    << item.toStdString() << " → " << window->windowTitle().toStdString() << ": "
                    << button->text().toStdString();
    }

    test::ScratchDir dir;
    std::optional<test::MessageCapture> messages{std::in_place};
    test::FakeSerialChannel channel;
    TForm1 main;
    QRect area;
};

TEST_F(WindowPlacementTest, TheScreenIsSmallerThanTheLargestWindows) {
    EXPECT_EQ(area.width(), 640);
    EXPECT_EQ(area.height(), 512);
}

TEST_F(WindowPlacementTest, EveryWindowOpensInsideTheFreeArea) {
    ExpectInside(&main, QStringLiteral("start"));
    // A dialog an item opens modally (a file to choose) is looked at, then cancelled.
    QString item;
    QTimer modalWatch;
    QObject::connect(&modalWatch, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ExpectInside(modal, item);
            modal->close();
        }
    });
    modalWatch.start(50);
    const QList<QAction*> items = WindowItems();
    ASSERT_GE(items.size(), 12);
    for (QAction* action : items) {
        item = action->text();
        action->trigger();
        QApplication::processEvents();
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window->isVisible() && window != &main) {
                ExpectInside(window, item);
                window->close();
            }
    }
}

TEST_F(WindowPlacementTest, TheFirmwareWindowsQuestionOpensAboveIt) {
    QFile hex(dir.File("image.bin"));
    ASSERT_TRUE(hex.open(QIODevice::WriteOnly));
    hex.write(":020000040800F2\r\n:10000000\r\n");
    hex.close();
    main.N5->trigger();
    TForm4* form = NewestWindow<TForm4>::Get();
    ASSERT_NE(form, nullptr);
    ASSERT_TRUE(form->windowFlags() & Qt::WindowStaysOnTopHint);
    // The closing file dialog hands the activation to the main window, as a window manager may.
    form->ChooseFileName = [this, &hex] {
        main.activateWindow();
        QApplication::processEvents();
        return hex.fileName();
    };
    messages.reset();

    bool asked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        watch.stop();
        asked = true;
        EXPECT_EQ(box->parentWidget(), form);
        EXPECT_EQ(box->windowHandle()->transientParent(), form->windowHandle());
        EXPECT_TRUE(box->text().startsWith(QStringLiteral("Файл похож на Intel HEX")));
        ExpectInside(box, QStringLiteral("question"));
        for (QAbstractButton* button : box->buttons())
            if (button->text() == QStringLiteral("Нет")) QTest::mouseClick(button, Qt::LeftButton);
    });
    watch.start(20);
    QTest::mouseClick(form->Button1, Qt::LeftButton);
    EXPECT_TRUE(asked);
    EXPECT_TRUE(form->Label1->text().isEmpty()) << "'Нет' keeps the file out";
}

} // namespace
} // namespace kvel
