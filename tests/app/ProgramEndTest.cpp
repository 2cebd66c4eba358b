// A logout, a shutdown, `kill` or Ctrl+C ends kvel as "Выход" does whatever is open: boxes and
// dialogs close, data.inf is saved, the exit status is 0. Each case runs the program's own event
// loop and its own signal handling, with the signal raised against this process.
#include "DataInfFile.h"
#include "FakeSerialChannel.h"
#include "MainLoop.h"
#include "MessageBox.h"
#include "MessageCapture.h"
#include "NewestWindow.h"
#include "ScratchDir.h"
#include "Unit1.h"
#include "Unit4.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <sys/stat.h>

namespace kvel {
namespace {

using test::ReadDataInf;
using test::WriteDataInf;

// Address word 0x0105 on COM7: the program talks to 5 and saves the address back as 0x0005.
const QByteArray kStartingDataInf("\x05\x01\x03\x00\x07\x00", 6);
const QByteArray kSavedDataInf("\x05\x00\x03\x00\x07\x00", 6);

const char* SignalName(int signal) {
    return signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT";
}

bool IsBoxSaying(QWidget* modal, const QString& start) {
    const auto* box = qobject_cast<QMessageBox*>(modal);
    return box && box->text().startsWith(start);
}

// Raises `signal` once, as soon as what the case opens is the modal window.
class SignalWhenOpen {
public:
    SignalWhenOpen(int signal, std::function<bool(QWidget* modal)> isOpen)
        : signal_(signal), isOpen_(std::move(isOpen)) {
        timer_.callOnTimeout([this] { Check(); });
        timer_.start(10);
    }
    bool Raised() const { return raised_; }

private:
    void Check() {
        if (!isOpen_(QApplication::activeModalWidget())) return;
        timer_.stop();
        raised_ = true;
        std::raise(signal_);
    }

    int signal_;
    std::function<bool(QWidget*)> isOpen_;
    QTimer timer_;
    bool raised_ = false;
};

QAction* ServiceItem(TForm1& form, const QString& text) {
    for (QAction* item : form.ServiceMenu()->actions())
        if (item->text() == text) return item;
    return nullptr;
}

struct OpenCase {
    const char* what;
    bool portOpens;
    // Run on the main window's loop once it runs; none for what opens while it is being made.
    std::function<void(TForm1&)> open;
    std::function<bool(QWidget* modal)> isOpen;
};

const OpenCase kOpenCases[] = {
    {"the start-up box", false, nullptr,
     [](QWidget* modal) { return IsBoxSaying(modal, "Ошибка открытия COM порта"); }},
    {"nothing", true, nullptr,
     [](QWidget* modal) {
         const TForm1* form = NewestWindow<TForm1>::Get();
         return !modal && form && form->isVisible();
     }},
    {"the load refusal box", true,
     [](TForm1& form) {
         form.State().HoldingImage[1] = 6;
         form.N5->trigger();
     },
     [](QWidget* modal) { return IsBoxSaying(modal, "Для обновления ПО отключите нагрузку"); }},
    {"the setpoint refusal box", true,
     [](TForm1& form) {
         // A box closed in an earlier case may have left no window active, as no window manager
         // is here to give it back.
         form.activateWindow();
         EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
         QTest::mouseClick(form.Display().Edit2, Qt::LeftButton);
         QTest::keyClicks(form.Display().Edit2, "1,2,3");
         QTest::keyClick(form.Display().Edit2, Qt::Key_Return);
     },
     [](QWidget* modal) { return IsBoxSaying(modal, "Введите число"); }},
    {"a yes/no question", true, [](TForm1&) { AskYesNo(QStringLiteral("Записать как есть?")); },
     [](QWidget* modal) { return IsBoxSaying(modal, "Записать как есть?"); }},
    {"the firmware window's file dialog", true,
     [](TForm1& form) {
         form.N5->trigger();
         QTest::mouseClick(NewestWindow<TForm4>::Get()->Button1, Qt::LeftButton);
     },
     [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; }},
    {"the settings file's save dialog", true,
     [](TForm1& form) {
         form.State().HoldingImage[2] = 1;
         form.State().InputImage[0] = 1;
         ServiceItem(form, QStringLiteral("Сохранить установки в файл…"))->trigger();
     },
     [](QWidget* modal) { return qobject_cast<QFileDialog*>(modal) != nullptr; }},
};

TEST(ProgramEndTest, ExitSavesDataInfAndEndsWithZero) {
    test::ScratchDir dir;
    WriteDataInf(kStartingDataInf);
    test::FakeSerialChannel channel;
    MainLoop loop;
    TForm1 form(channel);
    QTimer::singleShot(0, &form, [&] { form.N8->trigger(); });
    EXPECT_EQ(loop.Run(form), 0);
    EXPECT_EQ(ReadDataInf(), kSavedDataInf);
}

TEST(ProgramEndTest, ATerminationSignalEndsAsExitDoesWhateverIsOpen) {
    for (const OpenCase& c : kOpenCases)
        for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
            SCOPED_TRACE(std::string(SignalName(signal)) + " with " + c.what + " open");
            test::ScratchDir dir;
            WriteDataInf(kStartingDataInf);
            test::FakeSerialChannel channel;
            channel.openResult = c.portOpens ? kOpenOk : kOpenFailed;
            MainLoop loop;
            const SignalWhenOpen raise(signal, c.isOpen);
            TForm1 form(channel);
            if (c.open) QTimer::singleShot(0, &form, [&] { c.open(form); });
            EXPECT_EQ(loop.Run(form), 0);
            EXPECT_TRUE(raise.Raised());
            EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
            EXPECT_FALSE(form.isVisible());
            EXPECT_EQ(ReadDataInf(), kSavedDataInf);
        }
}

// A pipe would keep the program waiting for a writer before any window; at the end, a data.inf
// that cannot be written is said on stderr, and no box asks anyone anything.
TEST(ProgramEndTest, APipeNamedDataInfIsNeitherReadNorWrittenAndTheEndSaysSoOnStderr) {
    test::ScratchDir dir;
    ASSERT_EQ(::mkfifo("data.inf", 0600), 0);
    test::MessageCapture messages;
    test::FakeSerialChannel channel;
    MainLoop loop;
    const SignalWhenOpen raise(SIGTERM, [](QWidget*) { return true; });
    TForm1 form(channel);
    EXPECT_TRUE(channel.opens.empty());
    testing::internal::CaptureStderr();
    EXPECT_EQ(loop.Run(form), 0);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("kvel: data.inf not saved: it is not a regular file"), std::string::npos)
        << said;
    EXPECT_TRUE(messages.texts.isEmpty()) << messages.texts.join('\n').toStdString();
    const QFileInfo pipe(QStringLiteral("data.inf"));
    EXPECT_TRUE(pipe.exists() && !pipe.isFile()) << "the pipe stays a pipe";
}

} // namespace
} // namespace kvel
