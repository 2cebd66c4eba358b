// The network line's hook: "Сетевое подключение…", and the choice kept in network.ini, read as
// the program starts and written as soon as it is made and again at close.
#include "MessageBox.h"
#include "NetworkLine.h"
#include "NetworkWindow.h"
#include "OneItemRoom.h"
#include "RoomRegistry.h"

#include <cstdio>
#include <optional>
#include <vector>

namespace kvel {
namespace {

constexpr int kNetworkPlace = 40;

class NetworkRoom : public OneItemRoom {
public:
    explicit NetworkRoom(RoomHost& host)
        : OneItemRoom(host, QStringLiteral("Сетевое подключение…")) {
        ReadChoice();
    }

    // A failed save is no box: the program is ending, perhaps at a signal with nobody to answer.
    void FormClose() override {
        if (const std::optional<SaveFailure> notKept = WriteChoice())
            std::fprintf(stderr, "kvel: %s not saved: %s\n", kNetworkIniName,
                         notKept->reason.c_str());
    }

private:
    std::string& PortInUse() { return host_.Link().State().NetworkPort; }

    void ReadChoice() {
        std::string problem;
        const NetworkChoice choice = ReadNetworkChoice(kNetworkIniName, problem);
        if (!problem.empty())
            ShowMessage(QString::fromStdString(std::string("Файл ") + kNetworkIniName +
                                               " не прочитан: " + problem +
                                               "\nСоединение через COM порт"),
                        &host_.Window());
        lastPort_ = choice.port;
        recentPorts_ = choice.recent;
        if (choice.inUse) PortInUse() = choice.port;
    }

    // Nothing is written for a program that never chose a network line.
    std::optional<SaveFailure> WriteChoice() {
        if (lastPort_.empty()) return std::nullopt;
        SaveFailure failure;
        if (WriteNetworkChoice(kNetworkIniName, {lastPort_, !PortInUse().empty(), recentPorts_},
                               &failure))
            return std::nullopt;
        return failure;
    }

    void Open() override {
        const std::string shown = PortInUse().empty() ? lastPort_ : PortInUse();
        new NetworkWindow(
            shown, recentPorts_, [this](const std::string& portName) { return Use(portName); },
            &host_.Window());
    }

    // As "OK" beside the COM number does for a serial port; the choice is kept at once, so that
    // a program that does not get to close keeps it too.
    std::string Use(const std::string& portName) {
        ModbusLink& link = host_.Link();
        link.StopLinkTimers();
        link.Channel().CloseComPort();
        link.ForgetAwaitedReply();
        PortInUse() = portName;
        lastPort_ = portName;
        RememberRecent(recentPorts_, portName);
        const std::optional<SaveFailure> notKept = WriteChoice();
        host_.Reconnect();
        if (!notKept) return {};
        return std::string("Не удалось сохранить ") + kNetworkIniName + ": " +
               notKept->russianReason;
    }

    // The network line last chosen, in use or not.
    std::string lastPort_;
    // The network lines connected to lately, newest first.
    std::vector<std::string> recentPorts_;
};

const RoomRegistrar registrar{kNetworkPlace, [](RoomHost& host) { return new NetworkRoom(host); }};

} // namespace
} // namespace kvel
