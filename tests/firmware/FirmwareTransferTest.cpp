// The upload's frames, rules, resends and file handling, against a fake port.
#include "UploadFixture.h"

#include <random>

#include <unistd.h>

namespace kvel {
namespace {

using test::Firmware;
using test::Hex;
using test::Slice;
using test::ToHex;
using test::WithCrc;

constexpr std::uint32_t kBase = 0x08004000;

std::uint32_t FlashAddressIn(const std::vector<std::uint8_t>& frame) {
    return std::uint32_t{frame[6]} << 24 | std::uint32_t{frame[7]} << 16 |
           std::uint32_t{frame[8]} << 8 | frame[9];
}

// The block frames and the closing frame: every write after the command and the status reads.
std::vector<std::vector<std::uint8_t>>
BlockFrames(const std::vector<std::vector<std::uint8_t>>& writes) {
    std::vector<std::vector<std::uint8_t>> frames;
    for (const auto& frame : writes)
        if (frame.size() > 8) frames.push_back(frame);
    return frames;
}

void ExpectBlockFrame(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& file,
                      std::size_t block, std::size_t bytes) {
    SCOPED_TRACE("block " + std::to_string(block));
    ASSERT_EQ(frame.size(), bytes + 12);
    EXPECT_EQ(ToHex(Slice(frame, 0, 6)),
              ToHex(Hex("01 06 FF FD")) + " " +
                  ToHex({std::uint8_t((bytes + 10) >> 8), std::uint8_t((bytes + 10) & 0xFF)}));
    EXPECT_EQ(FlashAddressIn(frame), kBase + block * 2048);
    EXPECT_EQ(Slice(frame, 10, bytes), Slice(file, block * 2048, bytes));
    EXPECT_EQ(frame, WithCrc(Slice(frame, 0, bytes + 10)));
}

void ExpectClosingFrame(const std::vector<std::uint8_t>& frame, std::uint32_t totalBlocks) {
    ASSERT_EQ(frame.size(), 13u);
    EXPECT_EQ(ToHex(Slice(frame, 0, 6)), "01 06 FF FD 00 0B");
    EXPECT_EQ(FlashAddressIn(frame), kBase + totalBlocks * 2048);
    EXPECT_EQ(frame, WithCrc(Slice(frame, 0, 11)));
    EXPECT_EQ(frame[10], 0);
}

using WorkedExample = test::UploadFixture;

TEST_F(WorkedExample, StartWritesTheProgrammingCommandAndWaitsForSevenBytes) {
    ASSERT_EQ(Choose(Firmware(5)), FileVerdict::Usable);
    upload.Start();
    ASSERT_EQ(channel.writes.size(), 1u);
    EXPECT_EQ(ToHex(LastWrite()), ToHex(WithCrc("01 06 FF FD 00 B9")));
    EXPECT_EQ(link.ExpectedReplyLength, 7);
}

TEST_F(WorkedExample, EachWaitingTickWritesTheStatusRead) {
    ASSERT_EQ(Choose(Firmware(5)), FileVerdict::Usable);
    upload.Start();
    link.ExpectedReplyLength = 59;
    upload.Timer1Timer();
    EXPECT_EQ(ToHex(LastWrite()), "01 03 FF FD 00 01 25 EE");
    EXPECT_EQ(link.ExpectedReplyLength, 7);
    Answer(WithCrc("01 03 02 00 00"));
    upload.Timer1Timer();
    EXPECT_EQ(ToHex(LastWrite()), "01 03 FF FD 00 01 25 EE");
    EXPECT_EQ(channel.writes.size(), 3u);
}

TEST_F(WorkedExample, AbcdeIsOneShortBlockAcknowledgedByItsCrcThenTheClosingFrame) {
    ASSERT_EQ(Choose({'A', 'B', 'C', 'D', 'E'}), FileVerdict::Usable);
    StartAndSendFirstBlock();
    EXPECT_EQ(ToHex(LastWrite()), "01 06 FF FD 00 0F 08 00 40 00 41 42 43 44 45 40 F1");
    EXPECT_EQ(transfer.lastFrameCrc, 0xF140);
    Answer(Hex("01 06 00 F1 40 5D 28"));
    EXPECT_EQ(link.WriteReplyWord, 0xF140);
    upload.Timer1Timer();
    EXPECT_EQ(ToHex(LastWrite()), "01 06 FF FD 00 0B 08 00 48 00 00 09 82");
    EXPECT_EQ(view.Status(), "Программирование завершено");
    EXPECT_EQ(view.closeOffers, 1);
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_FALSE(transfer.file.is_open());
    EXPECT_EQ(transfer.lastFrameCrc, 0);
}

TEST_F(WorkedExample, WholeBlock2HasItsHeaderAndTheFilesBytes4096To6143) {
    const auto file = Firmware(3 * 2048);
    ASSERT_EQ(Choose(file), FileVerdict::Usable);
    StartAndSendFirstBlock();
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    const auto& frame = LastWrite();
    ASSERT_EQ(frame.size(), 2060u);
    EXPECT_EQ(ToHex(Slice(frame, 0, 10)), "01 06 FF FD 08 0A 08 00 50 00");
    EXPECT_EQ(Slice(frame, 10, 2048), Slice(file, 4096, 2048));
    EXPECT_EQ(frame, WithCrc(Slice(frame, 0, 2058)));
}

using EdgeCases = test::UploadFixture;

TEST_F(EdgeCases, ExactMultipleOfTheBlockSendsWholeBlocksThenClosesAtTheNextAddress) {
    const auto file = Firmware(2 * 2048);
    ASSERT_EQ(Choose(file), FileVerdict::Usable);
    EXPECT_EQ(transfer.TotalBlocks(), 2);
    RunToTheEnd();
    const auto frames = BlockFrames(channel.writes);
    ASSERT_EQ(frames.size(), 3u);
    ExpectBlockFrame(frames[0], file, 0, 2048);
    ExpectBlockFrame(frames[1], file, 1, 2048);
    ExpectClosingFrame(frames[2], 2);
}

TEST_F(EdgeCases, RemainderGoesAsAShortBlockThenTheClosingFrame) {
    const auto file = Firmware(2 * 2048 + 100);
    ASSERT_EQ(Choose(file), FileVerdict::Usable);
    EXPECT_EQ(transfer.TotalBlocks(), 3);
    RunToTheEnd();
    const auto frames = BlockFrames(channel.writes);
    ASSERT_EQ(frames.size(), 4u);
    ExpectBlockFrame(frames[0], file, 0, 2048);
    ExpectBlockFrame(frames[1], file, 1, 2048);
    ExpectBlockFrame(frames[2], file, 2, 100);
    EXPECT_EQ(ToHex(Slice(frames[2], 4, 2)), "00 6E");
    ExpectClosingFrame(frames[3], 3);
}

TEST_F(EdgeCases, FileShorterThanABlockIsOneShortBlockAtTheFlashStart) {
    const auto file = Firmware(300);
    ASSERT_EQ(Choose(file), FileVerdict::Usable);
    RunToTheEnd();
    const auto frames = BlockFrames(channel.writes);
    ASSERT_EQ(frames.size(), 2u);
    ExpectBlockFrame(frames[0], file, 0, 300);
    ExpectClosingFrame(frames[1], 1);
    EXPECT_EQ(ToHex(Slice(frames[1], 6, 4)), "08 00 48 00");
}

TEST_F(EdgeCases, ProgressNeverCountsTheTotalOfTheTotal) {
    ASSERT_EQ(Choose(Firmware(2 * 2048 + 1)), FileVerdict::Usable);
    EXPECT_EQ(upload.ProgressText(), "Запись 0 блока из 3");
    RunToTheEnd();
    const std::vector<std::string> expected{"Запись 0 блока из 3", "Запись 1 блока из 3",
                                            "Запись 2 блока из 3", "Программирование завершено"};
    EXPECT_EQ(view.statuses, expected);
}

TEST_F(EdgeCases, SecondFilesTotalComesFromItAlone) {
    ASSERT_EQ(Choose(Firmware(2 * 2048 + 100)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    ASSERT_EQ(upload.ChooseFile(WriteFile("second.bin", Firmware(2048))), FileVerdict::Usable);
    EXPECT_EQ(upload.ProgressText(), "Запись 0 блока из 1");
    EXPECT_EQ(transfer.blocksSent, 0);
    EXPECT_EQ(transfer.hasPartialBlock, 0);
    EXPECT_EQ(transfer.lastBlockBytes, 0);
}

TEST_F(EdgeCases, SecondFileRestartsFromItsBlock0AtTheNextReady) {
    ASSERT_EQ(Choose(Firmware(3 * 2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    const auto second = Firmware(700);
    ASSERT_EQ(upload.ChooseFile(WriteFile("second.bin", second)), FileVerdict::Usable);
    upload.Timer1Timer();
    EXPECT_EQ(ToHex(LastWrite()), "01 03 FF FD 00 01 25 EE");
    AnswerReady();
    upload.Timer1Timer();
    ExpectBlockFrame(LastWrite(), second, 0, 700);
}

TEST_F(EdgeCases, AcknowledgementWithAnotherCrcMovesNothingOn) {
    ASSERT_EQ(Choose(Firmware(3 * 2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    const std::size_t written = channel.writes.size();
    const std::vector<std::uint8_t>& frame = LastWrite();
    Answer(WithCrc({0x01, 0x06, 0x00, frame[frame.size() - 2], frame[frame.size() - 1]}));
    upload.Timer1Timer();
    EXPECT_EQ(channel.writes.size(), written);
    EXPECT_EQ(transfer.blocksSent, 1);
    EXPECT_EQ(view.Status(), "Запись 0 блока из 3");
}

TEST_F(EdgeCases, UnitThatNeverGetsReadyIsReportedOnTheTwelfthTick) {
    ASSERT_EQ(Choose(Firmware(2048)), FileVerdict::Usable);
    upload.Start();
    for (int tick = 1; tick <= 11; ++tick) {
        upload.Timer1Timer();
        Answer(WithCrc("01 03 02 00 00"));
    }
    EXPECT_TRUE(view.statuses.empty());
    EXPECT_EQ(view.closeOffers, 0);
    upload.Timer1Timer();
    EXPECT_EQ(view.Status(), "Нет связи с ЗУЛ");
    EXPECT_EQ(view.closeOffers, 1);
    EXPECT_EQ(channel.writes.size(), 13u) << "a status read on every tick";
    AnswerReady();
    upload.Timer1Timer();
    EXPECT_EQ(LastWrite().size(), 2060u) << "a late ready still starts the transfer";
}

using ClosingFrame = test::UploadFixture;

// The closing frame is never acknowledged: only the line tells whether it got through.
TEST_F(ClosingFrame, FinishedOnlyWhenItsWriteWentOutAndTheLineStayedUpThroughItsPause) {
    const struct {
        const char* name;
        int writeResult;
        bool lostBeforeTheWrite;
        bool lostInThePause;
        UploadStep step;
        const char* status;
    } cases[] = {
        {"line up throughout", kWriteDone, false, false, UploadStep::Finished,
         "Программирование завершено"},
        {"write not taken", kWritePending, false, false, UploadStep::NotFinished,
         "Программирование не завершено: нет связи"},
        {"line gone before the write", kWritePending, true, false, UploadStep::NotFinished,
         "Программирование не завершено: нет связи"},
        {"line lost in the pause", kWriteDone, false, true, UploadStep::NotFinished,
         "Программирование не завершено: нет связи"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view = {};
        view.holdClosingPause = true;
        view.endClosingPause = [this] { upload.ClosingPauseEnded(); };
        channel.writeResult = kWriteDone;
        channel.vanished = false;
        ASSERT_EQ(Choose({'A', 'B', 'C', 'D', 'E'}), FileVerdict::Usable);
        StartAndSendFirstBlock();
        AcknowledgeLastFrame();
        channel.writeResult = c.writeResult;
        channel.vanished = c.lostBeforeTheWrite;
        upload.Timer1Timer();
        EXPECT_EQ(ToHex(LastWrite()), "01 06 FF FD 00 0B 08 00 48 00 00 09 82");
        EXPECT_EQ(transfer.fileOpen, 0);
        const bool pauseNeeded = c.writeResult == kWriteDone && !c.lostBeforeTheWrite;
        EXPECT_EQ(view.closingPauseMs, pauseNeeded ? kClosingPauseMs : 0);
        if (pauseNeeded) {
            EXPECT_EQ(upload.Step(), UploadStep::Closing);
            EXPECT_EQ(view.Status(), "Запись 0 блока из 1") << "no verdict before the pause ends";
            EXPECT_EQ(view.closeOffers, 0);
            channel.vanished = c.lostInThePause;
            upload.ClosingPauseEnded();
        }
        EXPECT_EQ(upload.Step(), c.step);
        EXPECT_EQ(view.Status(), c.status);
        EXPECT_EQ(view.closeOffers, 1);
        upload.ClosingPauseEnded();
        EXPECT_EQ(view.statuses.size(), 2u) << "a late pause's end says nothing again";
    }
}

using Resends = test::UploadFixture;

TEST_F(Resends, WaitsLongerOnSlowerLines) {
    EXPECT_EQ(ResendAfterTicks(115200, 2060), 3);
    EXPECT_EQ(ResendAfterTicks(9600, 2060), 4);
    EXPECT_EQ(ResendAfterTicks(1200, 2060), 19);
    EXPECT_EQ(ResendAfterTicks(1200, 13), 3);
    EXPECT_EQ(ResendAfterTicks(0, 13), ResendAfterTicks(1, 13)) << "no division by zero";
}

TEST_F(Resends, UnacknowledgedBlockGoesAgainAfterItsWait) {
    ASSERT_EQ(Choose(Firmware(3 * 2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    const std::vector<std::uint8_t> block0 = LastWrite();
    const std::size_t written = channel.writes.size();
    upload.Timer1Timer();
    upload.Timer1Timer();
    EXPECT_EQ(channel.writes.size(), written);
    upload.Timer1Timer();
    ASSERT_EQ(channel.writes.size(), written + 1);
    EXPECT_EQ(LastWrite(), block0);
    EXPECT_EQ(view.Status(), "Повторная запись 0 блока из 3");
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    EXPECT_EQ(FlashAddressIn(LastWrite()), kBase + 2048);
    EXPECT_EQ(view.Status(), "Запись 1 блока из 3");
}

TEST_F(Resends, WaitIsLongerAtLowBitRates) {
    link.Settings.baudIndexWord = 0; // 1200 bit/s
    ASSERT_EQ(Choose(Firmware(2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    const std::size_t written = channel.writes.size();
    for (int tick = 1; tick < 19; ++tick)
        upload.Timer1Timer();
    EXPECT_EQ(channel.writes.size(), written);
    upload.Timer1Timer();
    EXPECT_EQ(channel.writes.size(), written + 1);
}

TEST_F(Resends, GivesUpAfterFiveResendsOfOneBlock) {
    ASSERT_EQ(Choose(Firmware(3 * 2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    const std::vector<std::uint8_t> block1 = LastWrite();
    for (int tick = 0; tick < 5 * 3; ++tick)
        upload.Timer1Timer();
    EXPECT_EQ(std::count(channel.writes.begin(), channel.writes.end(), block1), 6);
    EXPECT_EQ(view.Status(), "Повторная запись 1 блока из 3");
    EXPECT_EQ(view.tickStops, 0);
    upload.Timer1Timer();
    upload.Timer1Timer();
    upload.Timer1Timer();
    EXPECT_EQ(view.Status(), "Прервано: ЗУЛ не отвечает");
    EXPECT_EQ(view.tickStops, 1);
    EXPECT_EQ(view.closeOffers, 1);
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_FALSE(transfer.file.is_open());
    EXPECT_EQ(std::count(channel.writes.begin(), channel.writes.end(), block1), 6);
}

TEST_F(Resends, AcknowledgedResendStartsTheCountAgainForTheNextBlock) {
    ASSERT_EQ(Choose(Firmware(3 * 2048)), FileVerdict::Usable);
    StartAndSendFirstBlock();
    for (int tick = 0; tick < 4 * 3; ++tick)
        upload.Timer1Timer();
    EXPECT_EQ(transfer.resends, 4);
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    EXPECT_EQ(transfer.resends, 0);
    for (int tick = 0; tick < 5 * 3; ++tick)
        upload.Timer1Timer();
    EXPECT_EQ(view.Status(), "Повторная запись 1 блока из 3");
    EXPECT_EQ(view.tickStops, 0);
}

using FirmwareFiles = test::UploadFixture;

TEST_F(FirmwareFiles, ReadOnlyFilesUpload) {
    const auto file = Firmware(2048 + 10);
    const auto path = WriteFile("read-only.bin", file);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read);
    ASSERT_EQ(upload.ChooseFile(path), FileVerdict::Usable);
    RunToTheEnd();
    EXPECT_EQ(BlockFrames(channel.writes).size(), 3u);
    EXPECT_EQ(view.Status(), "Программирование завершено");
}

// Permissions do not stop root, but nobody may open a running program for writing.
TEST_F(FirmwareFiles, RunningProgramOpensAsFirmwareEvenForRoot) {
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe");
    ASSERT_EQ(upload.ChooseFile(self), FileVerdict::Usable);
    EXPECT_EQ(transfer.fileSize, static_cast<std::int32_t>(std::filesystem::file_size(self)));
    StartAndSendFirstBlock();
    std::vector<std::uint8_t> start(2048);
    std::ifstream(self, std::ios::binary).read(reinterpret_cast<char*>(start.data()), 2048);
    EXPECT_EQ(Slice(LastWrite(), 10, 2048), start);
}

TEST_F(FirmwareFiles, EmptyFileIsRefusedAndNothingCanBeSent) {
    EXPECT_EQ(Choose({}), FileVerdict::Empty);
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_FALSE(transfer.file.is_open());
    EXPECT_TRUE(channel.writes.empty());
}

TEST_F(FirmwareFiles, MissingFileOrDirectoryCannotBeOpened) {
    EXPECT_EQ(upload.ChooseFile(dir / "absent.bin"), FileVerdict::CannotOpen);
    EXPECT_EQ(upload.ChooseFile(dir), FileVerdict::CannotOpen);
    EXPECT_EQ(transfer.fileOpen, 0);
}

TEST_F(FirmwareFiles, FailedChoiceLeavesNoEarlierFileInUse) {
    ASSERT_EQ(Choose(Firmware(100)), FileVerdict::Usable);
    EXPECT_EQ(upload.ChooseFile(dir / "absent.bin"), FileVerdict::CannotOpen);
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_FALSE(transfer.file.is_open());
}

TEST_F(FirmwareFiles, SizeIsLimitedOnlyByTheSixteenBitBlockCounters) {
    EXPECT_EQ(CheckFirmwareSize(0), FileVerdict::Empty);
    EXPECT_EQ(CheckFirmwareSize(1), FileVerdict::Usable);
    EXPECT_EQ(CheckFirmwareSize(65535LL * 2048), FileVerdict::Usable);
    EXPECT_EQ(CheckFirmwareSize(65535LL * 2048 + 1), FileVerdict::TooLarge);
    EXPECT_EQ(CheckFirmwareSize(1LL << 40), FileVerdict::TooLarge);
}

TEST_F(FirmwareFiles, FileThatShrankUnderwayStopsTheTransfer) {
    const auto path = WriteFile("shrinking.bin", Firmware(2 * 2048));
    ASSERT_EQ(upload.ChooseFile(path), FileVerdict::Usable);
    StartAndSendFirstBlock();
    std::filesystem::resize_file(path, 100);
    const std::size_t written = channel.writes.size();
    AcknowledgeLastFrame();
    upload.Timer1Timer();
    EXPECT_EQ(channel.writes.size(), written);
    EXPECT_EQ(view.Status(), "Прервано: ошибка чтения файла");
    EXPECT_EQ(view.tickStops, 1);
    EXPECT_EQ(transfer.fileOpen, 0);
}

TEST_F(FirmwareFiles, StoppingClosesTheFileAndTheSilenceCount) {
    ASSERT_EQ(Choose(Firmware(2048)), FileVerdict::Usable);
    upload.Start();
    upload.Timer1Timer();
    upload.Timer1Timer();
    EXPECT_EQ(transfer.silentTicks, 2);
    upload.Stop();
    EXPECT_EQ(transfer.silentTicks, 0);
    EXPECT_EQ(transfer.fileOpen, 0);
    EXPECT_FALSE(transfer.file.is_open());
}

TEST(ForeignImageFormatTest, RecognisesTextAndElfFilesByTheirFirstBytes) {
    const struct {
        std::string head;
        std::string format;
    } cases[] = {
        {":020000040800F2\r\n:10000000", "Intel HEX"},
        // Saved as "UTF-8 with BOM", with or without blank lines before the records.
        {"\xEF\xBB\xBF:10000000000102030405060708090A0B0C0D0E0F78\n", "Intel HEX"},
        {"\xEF\xBB\xBF\r\n\r\n:020000040800F2\r\n", "Intel HEX"},
        {"\xEF\xBB\xBFS00F000068656C6C6F202020202000003C\n", "S-record"},
        {"\xEF\xBB:020000040800F2", ""},
        {"\r\n  :1000000000010203040506070809AABBCCDDEEFF78", "Intel HEX"},
        {"S00F000068656C6C6F202020202000003C\nS1130000", "S-record"},
        {"S3150800400000000000", "S-record"},
        {std::string("\x7F"
                     "ELF\x01\x01\x01",
                     7) +
             std::string(9, '\0'),
         "ELF"},
        {":0", ""},             // too short for a record
        {":10000000GG", ""},    // not hex
        {":1000000000010", ""}, // odd number of digits
        {"SX1234567890", ""},
        {"", ""},
        {std::string("\x7F"
                     "EL",
                     3),
         ""},
    };
    for (const auto& c : cases) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.head.data());
        EXPECT_EQ(ForeignImageFormat(bytes, c.head.size()), c.format) << c.head;
    }
}

// Raw images are whatever the compiler made of the program: random bytes stand in for them.
TEST(ForeignImageFormatTest, RandomBinariesAreRawImages) {
    std::mt19937 random(20261207);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int file = 0; file < 2000; ++file) {
        std::vector<std::uint8_t> head(256);
        for (std::uint8_t& b : head)
            b = static_cast<std::uint8_t>(byte(random));
        EXPECT_EQ(ForeignImageFormat(head.data(), head.size()), "") << file;
    }
}

TEST(ForeignImageFormatTest, ReadsOnlyTheStartOfAFileAndSaysNothingOfAMissingOne) {
    const std::filesystem::path dir(::testing::TempDir());
    {
        std::ofstream out(dir / "kvel-big.elf", std::ios::binary);
        out << "\x7F"
               "ELF";
        out << std::string(3 * kBlockBytes, '\x11');
    }
    EXPECT_EQ(ForeignImageFormat(dir / "kvel-big.elf"), "ELF");
    EXPECT_EQ(ForeignImageFormat(dir / "kvel-missing.bin"), "");
    std::filesystem::remove(dir / "kvel-big.elf");
}

} // namespace
} // namespace kvel
