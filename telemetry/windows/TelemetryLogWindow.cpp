// The log window ("Журнал"): starts and stops recording the telemetry to a CSV file.
#include "TelemetryLogWindow.h"

#include "FileChoice.h"
#include "FormFont.h"
#include "FormPlacement.h"
#include "NewestWindow.h"
#include "TelemetryRecording.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace kvel {

namespace {
constexpr QSize kOuterSize(488, 182);
const QString kCsvFilter = QStringLiteral("CSV (*.csv)");
} // namespace

TelemetryLogWindow::TelemetryLogWindow(TelemetryRecording& recording, Clock clock, QWidget* parent)
    : QWidget(parent, Qt::Window), recording_(recording), clock_(std::move(clock)) {
    NewestWindow<TelemetryLogWindow>::Set(this);
    setAttribute(Qt::WA_DeleteOnClose);
    BuildForm();
    connect(&recording_, &TelemetryRecording::Changed, this, &TelemetryLogWindow::ShowState);
    Edit1->setText(recording_.IsRecording() ? recording_.Path() : ProposedPath());
    ShowState();
    ShowCentred(*this, kOuterSize);
}

void TelemetryLogWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Журнал"));
    setFont(MsSansSerif());
    Label1 = new QLabel(QStringLiteral("Файл:"), this);
    Label1->setGeometry(8, 12, 40, 17);
    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(48, 8, 336, 23);
    Button1 = new QPushButton(QStringLiteral("Обзор..."), this);
    Button1->setGeometry(392, 7, 81, 25);
    Label3 = new QLabel(QStringLiteral("Формат:"), this);
    Label3->setGeometry(8, 44, 40, 17);
    ComboBox1 = new QComboBox(this);
    ComboBox1->setGeometry(48, 40, 336, 23);
    ComboBox1->addItem(QStringLiteral("для Excel (точка с запятой, десятичная запятая)"));
    ComboBox1->addItem(QStringLiteral("стандартный CSV (запятая, десятичная точка)"));
    ComboBox1->setCurrentIndex(static_cast<int>(recording_.Dialect()));
    Button2 = new QPushButton(QStringLiteral("Начать запись"), this);
    Button2->setGeometry(48, 76, 129, 25);
    Button3 = new QPushButton(QStringLiteral("Остановить запись"), this);
    Button3->setGeometry(192, 76, 129, 25);
    Label2 = new QLabel(this);
    Label2->setGeometry(48, 112, 425, 17);
    connect(Button1, &QPushButton::clicked, this, &TelemetryLogWindow::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TelemetryLogWindow::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TelemetryLogWindow::Button3Click);
}

void TelemetryLogWindow::Button1Click() {
    const QString path = ChooseSaveFile(this, Edit1->text(), kCsvFilter);
    if (!path.isEmpty()) Edit1->setText(path);
}

void TelemetryLogWindow::Button2Click() {
    recording_.Start(Edit1->text().trimmed(), static_cast<CsvDialect>(ComboBox1->currentIndex()));
}

// The next recording gets a name of its own rather than overwriting this one.
void TelemetryLogWindow::Button3Click() {
    recording_.Stop();
    Edit1->setText(ProposedPath());
}

void TelemetryLogWindow::ShowState() {
    const bool recording = recording_.IsRecording();
    Edit1->setReadOnly(recording);
    Button1->setEnabled(!recording);
    ComboBox1->setEnabled(!recording);
    Button2->setEnabled(!recording);
    Button3->setEnabled(recording);
    Label2->setText(recording
                        ? QStringLiteral("Идёт запись, строк: %1").arg(recording_.LinesWritten())
                        : QStringLiteral("Запись остановлена"));
}

QString TelemetryLogWindow::ProposedPath() const {
    return QDir::current().filePath(
        TimestampedFileName(QStringLiteral("telemetry"), QStringLiteral("csv"), clock_()));
}

} // namespace kvel
