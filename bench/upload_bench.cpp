// Times a 64 KiB firmware upload at 115200 bit/s from the real update window, link and serial
// channel to kvel-sim, beside its floor of one block per 1005 ms tick: 32 ticks from block 0 to
// the closing frame.
#include "DiagnosticsTools.h"
#include "ScratchDir.h"
#include "SimulatedUnit.h"
#include "SystemSerialChannel.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr int kFirmwareBytes = 64 * 1024;
constexpr double kFloorMs = 32 * 1005.0;
constexpr int kBaudIndex115200 = 9;

QByteArray Firmware() {
    QByteArray bytes(kFirmwareBytes, '\0');
    for (int i = 0; i < kFirmwareBytes; ++i)
        bytes[i] = static_cast<char>(i * 31 + i / 2048);
    return bytes;
}

bool WriteFile(const QString& name, const QByteArray& bytes) {
    QFile file(name);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadFile(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// With `withMonitor` the monitor window is open and watches the upload's frames.
int Measure(bool withMonitor) {
    kvel::test::ScratchDir dir;
    const char settings[6] = {1, 0, kBaudIndex115200, 0, 1, 0};
    const QByteArray firmware = Firmware();
    if (!WriteFile("data.inf", QByteArray(settings, 6)) || !WriteFile("firmware.bin", firmware))
        return 1;
    kvel::test::SimulatedUnit unit({"--baud-index", QString::number(kBaudIndex115200),
                                    "--flash-out", "flash.bin", "--ready-delay", "500"});
    if (!unit.Started()) return 1;

    kvel::SystemSerialChannel channel;
    kvel::TForm1 main(channel);
    kvel::FirmwareTransfer transfer;
    if (withMonitor) {
        transfer.observer = &main.LinkObservers();
        main.Room<kvel::DiagnosticsTools>()->OpenMonitor();
    }
    kvel::TForm4 window(transfer, main.State(), channel, [&main](int timer1Ms, int timer2Ms) {
        main.Timer1->SetInterval(timer1Ms);
        main.Timer2->SetInterval(timer2Ms);
    });
    const QString path = dir.File("firmware.bin");
    window.ChooseFileName = [path] { return path; };
    window.Button1Click();

    QElapsedTimer clock;
    clock.start();
    window.Button2Click();
    if (!QTest::qWaitFor([&] { return transfer.blocksSent > 0; }, 15000)) return 1;
    const qint64 firstBlockMs = clock.elapsed();
    const bool done = QTest::qWaitFor(
        [&] { return window.Label2->text() == QStringLiteral("Программирование завершено"); },
        60000);
    const double transferMs = static_cast<double>(clock.elapsed() - firstBlockMs);
    if (!done || !QTest::qWaitFor([] { return QFile::exists("flash.bin"); }, 2000)) return 1;

    std::printf(
        "64 KiB at 115200 bit/s%s: %.0f ms from block 0 to the closing frame, floor %.0f ms "
        "(%+.2f %%; target within 3 %%); image %s\n",
        withMonitor ? ", monitor open" : "", transferMs, kFloorMs,
        (transferMs / kFloorMs - 1) * 100,
        ReadFile("flash.bin") == firmware ? "identical" : "DIFFERS");
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    const int result = Measure(QApplication::arguments().contains(QStringLiteral("--monitor")));
    if (result != 0) std::fprintf(stderr, "upload_bench: the upload did not complete\n");
    return result;
}
