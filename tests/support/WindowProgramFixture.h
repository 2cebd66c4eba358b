// The window program against kvel-sim, as the end-to-end tests set it up: a scratch working
// folder, captured message boxes, the real channel, the simulated unit on COM1 and the main
// window.
#pragma once

#include "DataInfFile.h"
#include "MessageCapture.h"
#include "Readings.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"

#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace kvel::test {

// data.inf naming COM1 at the bit rate of `baudIndex`, address 1.
inline void WriteDataInfOfCom1(int baudIndex) {
    const char words[6] = {1, 0, static_cast<char>(baudIndex), 0, 1, 0};
    WriteDataInf(QByteArray(words, 6));
}

template <class Channel = SystemSerialChannel> class WindowProgramFixture {
protected:
    // From start to both banks read, with room for a loaded machine.
    static constexpr int kFirstReadingsMs = 8000;

    void StartUnit(QStringList arguments) {
        unit = std::make_unique<SimulatedUnit>(std::move(arguments));
        ASSERT_TRUE(unit->Started());
    }
    // Shown and active, as a person meets it.
    void StartForm() {
        form = std::make_unique<TForm1>(channel);
        form->show();
        form->activateWindow();
    }
    // The unit on COM1 at `baudIndex` with its own `simArguments`, and the main window polling it.
    void StartUnitAndForm(int baudIndex, QStringList simArguments) {
        ASSERT_NO_FATAL_FAILURE(WriteDataInfOfCom1(baudIndex));
        ASSERT_NO_FATAL_FAILURE(StartUnit(std::move(simArguments)));
        StartForm();
    }

    LinkState& State() { return form->State(); }
    bool ReadingsArrived() { return BothBanksRead(State()); }
    bool WaitForReadings(int ms = kFirstReadingsMs) {
        return QTest::qWaitFor([this] { return ReadingsArrived(); }, ms);
    }
    bool WaitForLinkLoss(int ms) {
        return QTest::qWaitFor([this] { return form->PanelText(0) == QStringLiteral("Нет связи"); },
                               ms);
    }

    ScratchDir dir;
    MessageCapture messages;
    Channel channel;
    std::unique_ptr<SimulatedUnit> unit;
    std::unique_ptr<TForm1> form;
};

} // namespace kvel::test
