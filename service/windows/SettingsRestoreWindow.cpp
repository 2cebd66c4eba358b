// "Записать из файла…".
#include "SettingsRestoreWindow.h"

#include "MessageBox.h"
#include "WindowParts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvel {

namespace {
// Beyond the link's own 5 s for a silent unit, each write takes a transmit tick and its answer.
constexpr int kCheckWaitMs = 10000;
constexpr int kMsPerWrite = 300;
} // namespace

SettingsRestoreWindow::SettingsRestoreWindow(SettingsSnapshot file, const QString& path,
                                             ModbusLink& link, QWidget* parent)
    : QWidget(parent, Qt::Window), file_(std::move(file)), link_(link), restore_(link) {
    setWindowTitle(QStringLiteral("Запись установок из файла"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Файл: %1").arg(path), this));
    Firmware = AddFirmwareLabel(*layout, link.State(), file_);
    WithCalibration =
        new QCheckBox(QStringLiteral("Записать и калибровки (они относятся к одному ЗУЛ)"), this);
    layout->addWidget(WithCalibration);
    Table = new DifferenceTable(this);
    layout->addWidget(Table);
    Question = new QLabel(this);
    layout->addWidget(Question);
    auto* buttons = new QHBoxLayout;
    Write = new QPushButton(QStringLiteral("Записать"), this);
    Cancel = new QPushButton(QStringLiteral("Отмена"), this);
    buttons->addStretch();
    buttons->addWidget(Write);
    buttons->addWidget(Cancel);
    layout->addLayout(buttons);

    watchdog_->setSingleShot(true);
    connect(watchdog_, &QTimer::timeout, this, &SettingsRestoreWindow::GiveUp);
    connect(WithCalibration, &QCheckBox::toggled, this, &SettingsRestoreWindow::ShowDifferences);
    connect(Write, &QPushButton::clicked, this, &SettingsRestoreWindow::WriteClick);
    connect(Cancel, &QPushButton::clicked, this, &QWidget::close);
    ShowDifferences();
    ShowServiceWindow(*this);
}

std::vector<Difference> SettingsRestoreWindow::CurrentDifferences() const {
    return Differences(file_, link_.State().HoldingImage, WithCalibration->isChecked());
}

void SettingsRestoreWindow::ShowDifferences() {
    const std::vector<Difference> differences = CurrentDifferences();
    Table->Show(differences);
    Question->setText(
        differences.empty()
            ? QStringLiteral("Установки ЗУЛ совпадают с файлом: записывать нечего")
            : QStringLiteral("Записать в ЗУЛ %1 установок из файла?").arg(differences.size()));
    Write->setEnabled(!differences.empty());
}

void SettingsRestoreWindow::WriteClick() {
    const std::vector<Difference> writes = CurrentDifferences();
    if (writes.empty()) return ShowDifferences();
    if (IsBroadcast(link_.State().DeviceAddress)) return ShowBroadcastRefusal();
    const std::string refusal = RefusalOfWrites(writes, link_.State().HoldingImage);
    if (!refusal.empty()) {
        ShowMessage(QStringLiteral("Запись отменена: уставка вне пределов ЗУЛ\n%1")
                        .arg(QString::fromStdString(refusal)));
        return;
    }
    restore_.Start(writes);
    Write->setEnabled(false);
    WithCalibration->setEnabled(false);
    Question->setText(QStringLiteral("Запись…"));
    watchdog_->start(kCheckWaitMs + static_cast<int>(writes.size()) * kMsPerWrite);
}

void SettingsRestoreWindow::OnHoldingReply() {
    if (!restore_.Running() || !restore_.OnHoldingReply()) return;
    watchdog_->stop();
    Report();
}

void SettingsRestoreWindow::Report() {
    ShowDifferences();
    WithCalibration->setEnabled(true);
    Cancel->setText(QStringLiteral("Закрыть"));
    const std::vector<Difference>& notTaken = restore_.NotTaken();
    if (notTaken.empty()) {
        Question->setText(QStringLiteral("Записано установок: %1").arg(restore_.Writes().size()));
        ShowMessage(Question->text());
        return;
    }
    QString text = QStringLiteral("ЗУЛ не принял:");
    for (const Difference& miss : notTaken)
        text += QStringLiteral("\n%1: в файле %2, в ЗУЛ %3")
                    .arg(QString::fromUtf8(miss.info->caption),
                         RegisterValueText(*miss.info, miss.fileWord),
                         RegisterValueText(*miss.info, miss.unitWord));
    Question->setText(text);
    ShowMessage(text);
}

void SettingsRestoreWindow::GiveUp() {
    restore_.Abandon();
    ShowDifferences();
    WithCalibration->setEnabled(true);
    ShowMessage(QStringLiteral("Нет ответа ЗУЛ: запись не проверена"));
}

} // namespace kvel
