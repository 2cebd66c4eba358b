// The settings-file items of the menu "Сервис" on the real main window with a fake port: what
// they save, what they show, and that writing waits for the operator's "Записать".
#include "FakeSerialChannel.h"
#include "LinkProbe.h"
#include "MessageCapture.h"
#include "RegisterMap.h"
#include "RussianPlural.h"
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
    const QStringList ours{"Сохранить установки в файл…", "Сравнить с файлом…",
                           "Записать из файла…"};
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
    EXPECT_EQ(messages.texts[0],
              "Файл установок не прочитан: " + chosen +
                  "\nстрока 19: Звуковой сигнал (sound-signal): «on» — не число");
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
    EXPECT_EQ(window->Question->text(), "Записать в ЗУЛ 2 установки из файла?");
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

    std::vector<std::uint16_t> after = UnitHolding();
    after[h::SoundSignal] = 0; // taken; max-temperature stays at 80 however often it is written
    for (int round = 1; round <= SettingsRestore::kTries; ++round) {
        EXPECT_TRUE(messages.texts.isEmpty()) << "no verdict before the last try, round " << round;
        SendQueuedWrites();
        test::DeliverReadReply(main.Link(), channel, 3, after);
        if (round == 1) {
            EXPECT_EQ(window->Question->text(), "Запись… попытка 2 из 3");
        }
    }
    EXPECT_EQ(messages.texts, QStringList{"Записано установок: 1 из 2\nЗУЛ не принял:\n"
                                          "Максимальная температура: в файле 75 °С, в ЗУЛ 80 °С"});
    ASSERT_EQ(window->Table->rowCount(), 2);
    EXPECT_EQ(window->Table->Row(0),
              (QStringList{"Максимальная температура", "75 °С", "80 °С", "не записано"}));
    EXPECT_EQ(window->Table->Row(1), (QStringList{"Звуковой сигнал", "выкл", "выкл", "записано"}));
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
    EXPECT_EQ(messages.texts, QStringList{"Записано установок: 0 из 1\nНе проверено (нет ответа "
                                          "ЗУЛ):\nМаксимальная температура: в файле 75 °С"});
    EXPECT_EQ(window->Table->Row(0),
              (QStringList{"Максимальная температура", "75 °С", "—", "неизвестно"}));
    EXPECT_TRUE(window->Write->isEnabled());
    SendQueuedWrites();
    test::DeliverReadReply(main.Link(), channel, 3, UnitHolding());
    EXPECT_EQ(messages.texts.size(), 1) << "a late reply reports nothing more";
}

TEST_F(SettingsFileWindowsTest, ASetpointOutsideTheLimitsItWillHaveIsMarkedBeforeWriting) {
    UnitAnswers(UnitHolding());
    WriteFile({{"voltage-setpoint = 54.5", "voltage-setpoint = 59.0"},
               {"voltage-max = 60.0", "voltage-max = 58.0"}});
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    EXPECT_EQ(window->Table->MarkOf(0), "") << "within the limits the unit has now";
    EXPECT_TRUE(window->Write->isEnabled());
    QTest::mouseClick(window->WithCalibration, Qt::LeftButton, {},
                      QPoint(5, window->WithCalibration->height() / 2));
    ASSERT_EQ(window->Table->rowCount(), 2);
    const QString breach =
        "Уставка выходного напряжения: 59,0 В вне пределов ЗУЛ, допустимо от 10,0 до 58,0 В";
    EXPECT_EQ(window->Table->MarkOf(0), "") << "the limit itself";
    EXPECT_EQ(window->Table->MarkOf(1), breach);
    EXPECT_EQ(window->Question->text(), "Записать нельзя: уставка вне пределов ЗУЛ\n" + breach);
    EXPECT_FALSE(window->Write->isEnabled());
    QTest::mouseClick(window->Write, Qt::LeftButton);
    EXPECT_TRUE(messages.texts.isEmpty());
    EXPECT_EQ(main.State().QueueCount, 0);
}

TEST_F(SettingsFileWindowsTest, TheQuestionCountsTheSettingsInRussian) {
    UnitAnswers(UnitHolding());
    const std::pair<std::string, std::string> changes[] = {
        {"max-temperature = 80", "max-temperature = 75"},
        {"sound-signal = 1", "sound-signal = 0"},
        {"charge-voltage-full = 54.5", "charge-voltage-full = 54.0"},
        {"relay-on-working = 0", "relay-on-working = 1"},
        {"voltage-source = 0", "voltage-source = 1"},
    };
    const std::pair<int, QString> cases[] = {{1, "Записать в ЗУЛ 1 установку из файла?"},
                                             {2, "Записать в ЗУЛ 2 установки из файла?"},
                                             {4, "Записать в ЗУЛ 4 установки из файла?"},
                                             {5, "Записать в ЗУЛ 5 установок из файла?"}};
    for (const auto& [count, question] : cases) {
        WriteFile({changes, changes + count});
        menu->RestoreItem->trigger();
        auto* window = main.findChildren<SettingsRestoreWindow*>().last();
        EXPECT_EQ(window->Question->text(), question);
        window->close();
    }
    EXPECT_EQ(CountedNoun(11, "установку", "установки", "установок"), "11 установок");
    EXPECT_EQ(CountedNoun(21, "установку", "установки", "установок"), "21 установку");
    EXPECT_EQ(CountedNoun(112, "установку", "установки", "установок"), "112 установок");
    EXPECT_EQ(CountedNoun(102, "установку", "установки", "установок"), "102 установки");
}

TEST_F(SettingsFileWindowsTest, ACutOffFileIsRefusedAndASaveThatFailsSaysWhy) {
    UnitAnswers(UnitHolding());
    WriteFile({{"\n[end]\n", "\n"}});
    menu->RestoreItem->trigger();
    EXPECT_EQ(messages.texts, QStringList{"Файл установок не прочитан: " + chosen +
                                          "\nфайл обрывается: нет последней строки [end], его "
                                          "запись не была закончена"});
    EXPECT_EQ(main.findChild<SettingsRestoreWindow*>(), nullptr);

    chosen = dir.File("no-such-folder/unit.ini");
    menu->SaveItem->trigger();
    EXPECT_EQ(messages.texts.last(), "Ошибка записи файла " + chosen + ": нет такой папки");
}

TEST_F(SettingsFileWindowsTest,
       ALinkLostWhileTheFileIsChosenShowsNoDifferencesUntilTheUnitAnswers) {
    UnitAnswers(UnitHolding());
    WriteFile({{"max-temperature = 80", "max-temperature = 75"}});
    menu->ChooseFileToRead = [this] {
        main.Link().DeclareLinkLost();
        return chosen;
    };
    menu->CompareItem->trigger();
    EXPECT_EQ(messages.texts, QStringList{"Нет данных от ЗУЛ: дождитесь связи"});
    EXPECT_EQ(main.findChild<SettingsCompareWindow*>(), nullptr);

    UnitAnswers(UnitHolding());
    menu->RestoreItem->trigger();
    auto* window = main.findChild<SettingsRestoreWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->Question->text(), "Нет данных от ЗУЛ: дождитесь связи");
    EXPECT_EQ(window->Table->rowCount(), 0);
    EXPECT_FALSE(window->Write->isEnabled());
    EXPECT_FALSE(window->Firmware->isVisible()) << "no firmware 0 against the file's";
    UnitAnswers(UnitHolding());
    EXPECT_EQ(window->Question->text(), "Записать в ЗУЛ 1 установку из файла?");
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
