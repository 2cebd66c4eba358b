// The real main window on a fake port, with holding-register replies delivered through the link
// as the unit would send them, and the function-6 writes the windows queue read back.
#pragma once

#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <utility>
#include <vector>

namespace kvel::test {

using Write = std::pair<int, int>; // register, value

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() : form(channel) {
        form.State().DeviceAddress = 1;
        holding.fill(0);
        form.show();
        form.activateWindow();
        QApplication::processEvents();
    }

    template <class Form> Form* Open(QAction* menuItem) {
        menuItem->trigger();
        QApplication::processEvents();
        return NewestWindow<Form>::Get();
    }

    // The unit answers a holding-register poll with `holding`.
    void HoldingReply() {
        DeliverReadReply(form.Link(), channel, 3, {holding.begin(), holding.end()});
    }
    void HoldingReplies(int count) {
        for (int i = 0; i < count; ++i)
            HoldingReply();
    }

    // The writes queued since the last call, oldest first.
    std::vector<Write> TakeWrites() {
        LinkState& state = form.State();
        std::vector<Write> writes;
        for (int slot = 1; slot <= state.QueueCount; ++slot) {
            const ModbusRequest& request = state.RequestQueue[slot];
            EXPECT_EQ(request.function, 6);
            writes.emplace_back(request.reg, request.countOrValue);
        }
        state.QueueCount = 0;
        return writes;
    }

    void Focus(QWidget* control) {
        control->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
    }
    // Types into the field as the operator would, character by character through its filter.
    void Type(QLineEdit* edit, const QString& text) {
        Focus(edit);
        edit->clear();
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }
    void LeaveWithEnter(QLineEdit* edit) {
        QTest::keyClick(edit, Qt::Key_Return);
        QApplication::processEvents();
    }
    void Enter(QLineEdit* edit, const QString& text) {
        Type(edit, text);
        LeaveWithEnter(edit);
    }
    void Click(QWidget* control) {
        QTest::mouseClick(control, Qt::LeftButton, {}, QPoint(8, control->height() / 2));
        QApplication::processEvents();
    }

    ScratchDir dir;
    MessageCapture messages;
    FakeSerialChannel channel;
    TForm1 form;
    std::array<std::uint16_t, 27> holding{};
};

} // namespace kvel::test
