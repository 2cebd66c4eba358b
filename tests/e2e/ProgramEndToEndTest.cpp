// kvel itself, started as the operator starts it, and ended by what a logout, a shutdown or
// Ctrl+C sends: it must leave data.inf as "Выход" would.
#include "DataInfFile.h"
#include "MessageCapture.h"
#include "OpenDevices.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace kvel {
namespace {

using test::SimulatedUnit;

// Address word 0x0105: the program talks to 5 and saves the address back as 0x0005.
const QByteArray kStartingDataInf("\x05\x01\x03\x00\x01\x00", 6);

using test::ReadDataInf;
using test::WriteDataInf;

// What the menu's "Выход" leaves, from the same start.
QByteArray WhatExitWrites() {
    WriteDataInf(kStartingDataInf);
    test::MessageCapture messages;
    SystemSerialChannel channel;
    TForm1 main(channel);
    main.show();
    main.N8->trigger();
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    return ReadDataInf();
}

TEST(ProgramEndToEndTest, TerminationSignalsSaveDataInfAsExitDoes) {
    test::ScratchDir dir;
    SimulatedUnit unit({"--address", "5"});
    ASSERT_TRUE(unit.Started());
    const QByteArray expected = WhatExitWrites();
    ASSERT_EQ(expected, QByteArray("\x05\x00\x03\x00\x01\x00", 6));
    const QString device = QFileInfo(SimulatedUnit::kLink).canonicalFilePath();

    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        WriteDataInf(kStartingDataInf);
        QProcess kvel;
        kvel.setProcessChannelMode(QProcess::ForwardedChannels);
        kvel.start(KVEL_PATH, {});
        ASSERT_TRUE(kvel.waitForStarted(5000));
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return test::OpenTerminals(kvel.processId()).contains(device); }, 10000))
            << "kvel never opened its port";
        ::kill(static_cast<pid_t>(kvel.processId()), signal);
        ASSERT_TRUE(kvel.waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(kvel.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(kvel.exitCode(), 0) << "signal " << signal;
        EXPECT_EQ(ReadDataInf(), expected) << "signal " << signal;
    }
}

// The box "Ошибка открытия COM порта" opens before the main window and waits for its OK: a signal
// meanwhile closes it and ends the program as "Выход" would have.
TEST(ProgramEndToEndTest, ASignalWhileTheStartUpBoxIsOpenEndsAsExitDoes) {
    test::ScratchDir dir;
    // COM99, which no machine here has.
    const QByteArray noSuchPort("\x05\x01\x03\x00\x63\x00", 6);
    for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
        WriteDataInf(noSuchPort);
        QProcess kvel;
        kvel.setProcessChannelMode(QProcess::ForwardedChannels);
        kvel.start(KVEL_PATH, {});
        ASSERT_TRUE(kvel.waitForStarted(5000));
        // The box is up well within this; a signal before it would wait for its loop anyway.
        EXPECT_FALSE(kvel.waitForFinished(1500)) << "kvel ended by itself";
        ::kill(static_cast<pid_t>(kvel.processId()), signal);
        ASSERT_TRUE(kvel.waitForFinished(5000)) << "signal " << signal;
        EXPECT_EQ(kvel.exitStatus(), QProcess::NormalExit) << "signal " << signal;
        EXPECT_EQ(kvel.exitCode(), 0) << "signal " << signal;
        EXPECT_EQ(ReadDataInf(), QByteArray("\x05\x00\x03\x00\x63\x00", 6)) << "signal " << signal;
    }
}

} // namespace
} // namespace kvel
