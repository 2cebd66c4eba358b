// The settings-file items of the menu "Сервис" on the real main window with a fake port: what
// they save, what they show, and that writing waits for the operator's "Записать".
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "RegisterMap.h"
#include "ScratchDir.h"
#include "SettingsCompareWindow.h"
#include "SettingsFileMenu.h"
#include "SettingsRestoreWindow.h"
#include "Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace kvel {
namespace {

namespace h = reg::holding;

std::vector<std::uint16_t> UnitHolding() {
    std::vector<std::uint16_t> words(h::Count, 0);
    words[h::MaxTemperature] = 80;
    words[h::ChargeVoltageFull] = 545;
    words[h::CalibVoltageMin] = 100;
    words[h::CalibVoltageMax] = 600;
    words[h::VoltageSetpoint] = 545;
    words[h::SoundSignal] = 1;
    return words;
}

class SettingsFileWindowsTest : public ::testing::Test {
protected:
    SettingsFileWindowsTest() : main(channel) {
        main.State().DeviceAddress = 1;
        menu = main.findChild<SettingsFileMenu*>();
        menu->ChooseFileToSave = [this] { return chosen; };
        menu->ChooseFileToRead = [this] { return chosen; };
    }

    void UnitAnswers(const std::vector<std::uint16_t>& holding) {
        std::vector<std::uint16_t> input(reg::input::Count, 0);
        input[reg::input::FirmwareVersion] = 112;
        input[reg::input::CompileNumber] = 37;
        test::DeliverReadReply(main.Link(), channel, 4, input);
        test::DeliverReadReply(main.Link(), channel, 3, holding);
    }

    // A file saved from a unit like ours, with some lines changed.
    void WriteFile(const std::vector<std::pair<std::string, std::string>>& changes) {
        RegisterImage holding{};
        const std::vector<std::uint16_t> words = UnitHolding();
        std::copy(words.begin(), words.end(), holding.begin());
        std::string text = WriteSettingsFile(
            SnapshotOf(holding, VersionInfo{112, 2026, 11, 20, 37}, "2026-12-07T10:00:00Z"));
        for (const auto& [from, to] : changes)
            text.replace(text.find(from), from.size(), to);
        QFile file(chosen);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.data(), static_cast<qint64>(text.size()));
    }

    // The link sends every queued request; the unit echoes each write.
    void SendQueuedWrites() {
        while (main.State().QueueCount > 0) {
            const ModbusRequest next = main.State().RequestQueue[main.State().SendIndex + 1];
            main.Link().Timer2Timer();
            if (next.function != 6) break;
            channel.Feed(channel.writes.back());
            main.Link().Timer3Timer();
        }
    }

    test::ScratchDir dir;
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    TForm1 main;
    SettingsFileMenu* menu = nullptr;
    QString chosen = dir.File("unit.ini");
};

TEST_F(SettingsFileWindowsTest, TheThreeItemsStandInTheServiceMenu) {
    QMenu* service = main.menuBar()->actions().at(1)->menu();
    QStringList items;
    for (QAction* item : service->actions())
        items << item->text();
    // Other tools share the menu; these three stand together, in this order.
    const QStringList ours{"Сохранить установки в файл…", "Сравнить с файлом…", "Записать из файла…"};
    EXPECT_EQ(items.mid(items.indexOf(ours.first()), ours.size()), ours);
}

TEST_F(SettingsFileWindowsTest, SaveWritesTheUnitsSettingsAndFirmwareToTheChosenFile) {
    menu->SaveItem->trigger();
    EXPECT_EQ(messages.texts, QStringList{"Нет данных от ЗУЛ: дождитесь связи"});
    EXPECT_FALSE(QFile::exists(chosen));

    UnitAnswers(UnitHolding());
    menu->SaveItem->trigger();
    EXPECT_EQ(messages.texts.last(), "Установки сохранены в файл " + chosen);
    QFile file(chosen);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    const SettingsFileRead read = ReadSettingsFile(text.toStdString());
    ASSERT_TRUE(read.snapshot) << read.error;
    EXPECT_EQ(read.snapshot->firmware.firmwareVersion, 112);
    EXPECT_EQ(read.snapshot->holding.at(h::MaxTemperature), 80);
    EXPECT_EQ(read.snapshot->holding.at(h::CalibVoltageMax), 600);
    EXPECT_TRUE(text.contains("charge-voltage-full = 54.5 V"));
}

TEST_F(SettingsFileWindowsTest, CompareShowsTheDifferingRegistersWithFileAndUnitValues) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"},
               {"voltage-max = 60.0", "voltage-max = 58.0"}});
    menu->CompareItem->trigger();
    auto* window = main.findChild<SettingsCompareWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Verdict->text(), "Отличаются от файла: 2");
    ASSERT_EQ(window->Table->rowCount(), 2);
    EXPECT_EQ(window->Table->Row(0), (QStringList{"Максимальная температура", "75 °С", "80 °С"}));
    EXPECT_EQ(window->Table->Row(1), (QStringList{"U макс (калибровка)", "58,0 В", "60,0 В"}));
    EXPECT_FALSE(window->Firmware->isVisible());
}

TEST_F(SettingsFileWindowsTest, AFileThatDoesNotReadIsRefusedNamingItsLine) {
    UnitAnswers(UnitHolding());
    WriteFile({{"sound-signal = 1", "sound-signal = on"}});
    menu->CompareItem->trigger();
    menu->RestoreItem->trigger();
    ASSERT_EQ(messages.texts.size(), 2);
    EXPECT_TRUE(messages.texts[0].startsWith("Файл установок не прочитан: " + chosen +
                                             "\nline 19: sound-signal: \"on\" is not a number"))
        << messages.texts[0].toStdString();
    EXPECT_EQ(main.findChild<SettingsCompareWindow*>(), nullptr);
    EXPECT_EQ(main.findChild<SettingsRestoreWindow*>(), nullptr);
}

TEST_F(SettingsFileWindowsTest, WriteFromFileShowsTheDifferencesAndWritesOnlyOnConfirmation) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"},
               {"sound-signal = 1", "sound-signal = 0"},
               {"voltage-max = 60.0", "voltage-max = 58.0"},
               {"version = 112", "version = 111"}});
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    ASSERT_NE(window, nullptr);
    ASSERT_EQ(window->Table->rowCount(), 2);
    EXPECT_EQ(window->Table->Row(1), (QStringList{"Звуковой сигнал", "выкл", "вкл"}));
    EXPECT_EQ(window->Question->text(), "Записать в ЗУЛ 2 установок из файла?");
    EXPECT_TRUE(window->Firmware->isVisible());
    EXPECT_EQ(window->Firmware->text(),
              "ПО ЗУЛ: версия 112, сборка 37; в файле: версия 111, сборка 37");
    QTest::mouseClick(window->WithCalibration, Qt::LeftButton, {},
                      QPoint(5, window->WithCalibration->height() / 2));
    EXPECT_EQ(window->Table->rowCount(), 3);
    QTest::mouseClick(window->WithCalibration, Qt::LeftButton, {},
                      QPoint(5, window->WithCalibration->height() / 2));
    EXPECT_EQ(main.State().QueueCount, 0) << "nothing written before the operator confirms";

    QTest::mouseClick(window->Write, Qt::LeftButton);
    const std::vector<ModbusRequest> queued = test::QueuedRequests(main.State());
    ASSERT_EQ(queued.size(), 3u);
    EXPECT_EQ((std::vector<int>{queued[0].function, queued[0].reg, queued[0].countOrValue}),
              (std::vector<int>{6, 4, 75}));
    EXPECT_EQ((std::vector<int>{queued[1].function, queued[1].reg, queued[1].countOrValue}),
              (std::vector<int>{6, 18, 0}));
    EXPECT_EQ((std::vector<int>{queued[2].function, queued[2].reg, queued[2].countOrValue}),
              (std::vector<int>{3, 0, 27}));
    EXPECT_FALSE(window->Write->isEnabled());

    SendQueuedWrites();
    std::vector<std::uint16_t> after = UnitHolding();
    after[h::SoundSignal] = 0; // taken; max-temperature stays at 80
    test::DeliverReadReply(main.Link(), channel, 3, after);
    EXPECT_EQ(messages.texts,
              QStringList{"ЗУЛ не принял:\nМаксимальная температура: в файле 75 °С, в ЗУЛ 80 °С"});
    EXPECT_EQ(window->Table->rowCount(), 1);
    EXPECT_EQ(window->Cancel->text(), "Закрыть");
}

TEST_F(SettingsFileWindowsTest, AllWritesTakenIsReportedAndCancelWritesNothing) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"}});
    menu->RestoreItem->trigger();
    auto* first = main.findChild<SettingsRestoreWindow*>();
    QTest::mouseClick(first->Cancel, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(main.State().QueueCount, 0);

    menu->RestoreItem->trigger();
    auto* window = main.findChildren<SettingsRestoreWindow*>().last();
    QTest::mouseClick(window->Write, Qt::LeftButton);
    SendQueuedWrites();
    std::vector<std::uint16_t> after = UnitHolding();
    after[h::MaxTemperature] = 75;
    test::DeliverReadReply(main.Link(), channel, 3, after);
    EXPECT_EQ(messages.texts, QStringList{"Записано установок: 1"});
    EXPECT_EQ(window->Question->text(), "Записано установок: 1");
}

TEST_F(SettingsFileWindowsTest, ASilentUnitEndsTheCheckWithAMessageAndAllowsAnotherTry) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"}});
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    QTest::mouseClick(window->Write, Qt::LeftButton);
    QTimer* watchdog = window->findChild<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_NE(watchdog, nullptr);
    EXPECT_GT(watchdog->remainingTime(), 5000) << "seconds of patience, not a short timer";
    watchdog->start(1); // the wait runs out without a reply
    ASSERT_TRUE(QTest::qWaitFor([&] { return !messages.texts.isEmpty(); }, 2000));
    EXPECT_EQ(messages.texts, QStringList{"Нет ответа ЗУЛ: запись не проверена"});
    EXPECT_TRUE(window->Write->isEnabled());
    SendQueuedWrites();
    test::DeliverReadReply(main.Link(), channel, 3, UnitHolding());
    EXPECT_EQ(messages.texts.size(), 1) << "a late reply reports nothing more";
}

TEST_F(SettingsFileWindowsTest, ASetpointOutsideTheLimitsItWillHaveIsRefusedAndNothingWritten) {
    UnitAnswers(UnitHolding());
    WriteFile({{"voltage-setpoint = 54.5", "voltage-setpoint = 59.0"},
               {"voltage-max = 60.0", "voltage-max = 58.0"}});
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    QTest::mouseClick(window->WithCalibration, Qt::LeftButton, {},
                      QPoint(5, window->WithCalibration->height() / 2));
    QTest::mouseClick(window->Write, Qt::LeftButton);
    ASSERT_EQ(messages.texts.size(), 1);
    EXPECT_TRUE(messages.texts[0].startsWith(
        "Запись отменена: уставка вне пределов ЗУЛ\nvoltage-setpoint 59.0 V"));
    EXPECT_EQ(main.State().QueueCount, 0);
    EXPECT_TRUE(window->Write->isEnabled());
}

TEST_F(SettingsFileWindowsTest, NothingIsWrittenToTheBroadcastAddress) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"}});
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    main.State().DeviceAddress = 0;
    QTest::mouseClick(window->Write, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_EQ(messages.texts, QStringList{"Адрес 0 — широковещательный: запись не отправлена"});
    EXPECT_EQ(main.State().QueueCount, 0);
}

} // namespace
} // namespace kvel
