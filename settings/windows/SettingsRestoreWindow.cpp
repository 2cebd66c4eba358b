// "Записать из файла…".
#include "SettingsRestoreWindow.h"

#include "MessageBox.h"
#include "RussianPlural.h"
#include "WindowParts.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace kvel {

namespace {

QString Settings(std::size_t count) {
    return CountedNoun(static_cast<long long>(count), QStringLiteral("установку"),
                       QStringLiteral("установки"), QStringLiteral("установок"));
}

// "Уставка выходного напряжения: 59,0 В вне пределов ЗУЛ, допустимо от 10,0 до 58,0 В"
QString BreachText(const LimitBreach& breach) {
    const unit::Register& info = *breach.write.info;
    return QStringLiteral("%1: %2 вне пределов ЗУЛ, допустимо от %3 до %4")
        .arg(QString::fromStdString(unit::Title(info)),
             RegisterValueText(info, breach.write.fileWord),
             QString::fromStdString(unit::FormatValue(info, breach.range.lowest, ',')),
             RegisterValueText(info, breach.range.highest));
}

// The registers with the given outcome, one a line: "Звуковой сигнал: в файле выкл, в ЗУЛ вкл".
QString OutcomeLines(const std::vector<RegisterOutcome>& outcomes, WriteOutcome which) {
    QString lines;
    for (const RegisterOutcome& o : outcomes) {
        if (o.outcome != which) continue;
        const unit::Register& info = *o.write.info;
        lines += QStringLiteral("\n%1: в файле %2")
                     .arg(QString::fromStdString(unit::Title(info)),
                          RegisterValueText(info, o.write.fileWord));
        if (which == WriteOutcome::NotWritten)
            lines += QStringLiteral(", в ЗУЛ %1").arg(RegisterValueText(info, o.write.unitWord));
    }
    return lines;
}

std::size_t CountOf(const std::vector<RegisterOutcome>& outcomes, WriteOutcome which) {
    return static_cast<std::size_t>(
        std::count_if(outcomes.begin(), outcomes.end(),
                      [&](const RegisterOutcome& o) { return o.outcome == which; }));
}

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
    Question->setWordWrap(true);
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

// The values the unit would refuse are marked here, before anything is written, and writing
// waits until none is left. Shown afresh with every holding reply, as the unit's values change
// or come back after a lost link.
void SettingsRestoreWindow::ShowDifferences() {
    phase_ = Phase::Preview;
    ShowFirmwareMismatch(*Firmware, link_.State(), file_);
    if (!HasUnitData(link_.State())) {
        Table->Show({});
        Question->setText(NoUnitDataText());
        Write->setEnabled(false);
        return;
    }
    const std::vector<Difference> differences = CurrentDifferences();
    Table->Show(differences);
    const std::vector<LimitBreach> breaches =
        LimitBreaches(differences, link_.State().HoldingImage);
    QString breachLines;
    for (const LimitBreach& breach : breaches) {
        const auto row =
            std::find_if(differences.begin(), differences.end(),
                         [&](const Difference& d) { return d.info == breach.write.info; });
        Table->Mark(static_cast<int>(row - differences.begin()), BreachText(breach));
        breachLines += '\n' + BreachText(breach);
    }
    Write->setEnabled(!differences.empty() && breaches.empty());
    if (differences.empty())
        Question->setText(QStringLiteral("Установки ЗУЛ совпадают с файлом: записывать нечего"));
    else if (!breaches.empty())
        Question->setText(QStringLiteral("Записать нельзя: уставка вне пределов ЗУЛ") +
                          breachLines);
    else
        Question->setText(
            QStringLiteral("Записать в ЗУЛ %1 из файла?").arg(Settings(differences.size())));
}

void SettingsRestoreWindow::WriteClick() {
    if (!HasUnitData(link_.State())) return ShowDifferences();
    const std::vector<Difference> writes = CurrentDifferences();
    if (writes.empty() || !LimitBreaches(writes, link_.State().HoldingImage).empty())
        return ShowDifferences();
    if (IsBroadcast(link_.State().DeviceAddress)) return ShowBroadcastRefusal(this);
    restore_.Start(writes);
    phase_ = Phase::Writing;
    Write->setEnabled(false);
    WithCalibration->setEnabled(false);
    StartRound();
}

void SettingsRestoreWindow::StartRound() {
    Question->setText(restore_.Tries() == 1 ? QStringLiteral("Запись…")
                                            : QStringLiteral("Запись… попытка %1 из %2")
                                                  .arg(restore_.Tries())
                                                  .arg(SettingsRestore::kTries));
    const std::size_t pending =
        restore_.Writes().size() - CountOf(restore_.Outcomes(), WriteOutcome::Written);
    watchdog_->start(RoundBudgetMs(pending));
}

void SettingsRestoreWindow::OnHoldingReply() {
    if (phase_ == Phase::Preview) return ShowDifferences();
    if (phase_ != Phase::Writing || !restore_.OnHoldingReply()) return;
    if (restore_.Running()) return StartRound();
    watchdog_->stop();
    Report();
}

void SettingsRestoreWindow::GiveUp() {
    restore_.Abandon();
    Report();
}

void SettingsRestoreWindow::Report() {
    phase_ = Phase::Report;
    const std::vector<RegisterOutcome>& outcomes = restore_.Outcomes();
    Table->ShowOutcomes(outcomes);
    WithCalibration->setEnabled(true);
    Cancel->setText(QStringLiteral("Закрыть"));
    const std::size_t written = CountOf(outcomes, WriteOutcome::Written);
    Write->setEnabled(written < outcomes.size());
    QString text =
        written == outcomes.size()
            ? QStringLiteral("Записано установок: %1").arg(written)
            : QStringLiteral("Записано установок: %1 из %2").arg(written).arg(outcomes.size());
    if (CountOf(outcomes, WriteOutcome::NotWritten) != 0)
        text +=
            QStringLiteral("\nЗУЛ не принял:") + OutcomeLines(outcomes, WriteOutcome::NotWritten);
    if (CountOf(outcomes, WriteOutcome::Unknown) != 0)
        text += QStringLiteral("\nНе проверено (нет ответа ЗУЛ):") +
                OutcomeLines(outcomes, WriteOutcome::Unknown);
    Question->setText(text);
    ShowMessage(text, this);
}

} // namespace kvel
