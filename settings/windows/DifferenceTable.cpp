// The table of differing registers.
#include "DifferenceTable.h"

#include <QHeaderView>

namespace kvel {

namespace {

QString Caption(const unit::Register& info) {
    const QString caption = QString::fromStdString(unit::Title(info));
    return info.role == unit::Role::Calibration ? caption + QStringLiteral(" (калибровка)")
                                                : caption;
}

const QStringList kColumns{QStringLiteral("Параметр"), QStringLiteral("В файле"),
                           QStringLiteral("В ЗУЛ")};

QString OutcomeText(WriteOutcome outcome) {
    switch (outcome) {
    case WriteOutcome::Written:
        return QStringLiteral("записано");
    case WriteOutcome::NotWritten:
        return QStringLiteral("не записано");
    default:
        return QStringLiteral("неизвестно");
    }
}

// A soft red that keeps black text readable.
const QColor kMarkColour(255, 205, 205);

} // namespace

QString RegisterValueText(const unit::Register& info, std::uint16_t word) {
    if (info.encoding == unit::Encoding::Flag && word <= 1)
        return word != 0 ? QStringLiteral("вкл") : QStringLiteral("выкл");
    return QString::fromStdString(unit::RussianValueText(info, word));
}

DifferenceTable::DifferenceTable(QWidget* parent) : QTableWidget(0, kColumns.size(), parent) {
    setHorizontalHeaderLabels(kColumns);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
}

void DifferenceTable::SetRow(int row, const unit::Register& info, const QString& file,
                             const QString& unit) {
    setItem(row, 0, new QTableWidgetItem(Caption(info)));
    setItem(row, 1, new QTableWidgetItem(file));
    setItem(row, 2, new QTableWidgetItem(unit));
}

void DifferenceTable::Show(const std::vector<Difference>& differences) {
    setColumnCount(kColumns.size());
    setRowCount(static_cast<int>(differences.size()));
    for (int row = 0; row < rowCount(); ++row) {
        const Difference& d = differences[static_cast<std::size_t>(row)];
        SetRow(row, *d.info, RegisterValueText(*d.info, d.fileWord),
               RegisterValueText(*d.info, d.unitWord));
    }
}

void DifferenceTable::ShowOutcomes(const std::vector<RegisterOutcome>& outcomes) {
    setColumnCount(kColumns.size() + 1);
    setHorizontalHeaderLabels(kColumns + QStringList{QStringLiteral("Итог")});
    horizontalHeader()->setSectionResizeMode(3, QHeaderView::ResizeToContents);
    setRowCount(static_cast<int>(outcomes.size()));
    for (int row = 0; row < rowCount(); ++row) {
        const RegisterOutcome& o = outcomes[static_cast<std::size_t>(row)];
        // What the unit holds is not known until it has been read back.
        const QString unit = o.outcome == WriteOutcome::Unknown
                                 ? QStringLiteral("—")
                                 : RegisterValueText(*o.write.info, o.write.unitWord);
        SetRow(row, *o.write.info, RegisterValueText(*o.write.info, o.write.fileWord), unit);
        setItem(row, 3, new QTableWidgetItem(OutcomeText(o.outcome)));
        if (o.outcome != WriteOutcome::Written) Mark(row, OutcomeText(o.outcome));
    }
}

void DifferenceTable::Mark(int row, const QString& why) {
    for (int column = 0; column < columnCount(); ++column) {
        item(row, column)->setBackground(kMarkColour);
        item(row, column)->setToolTip(why);
    }
}

QString DifferenceTable::MarkOf(int row) const {
    return item(row, 0)->toolTip();
}

QStringList DifferenceTable::Row(int row) const {
    QStringList texts;
    for (int column = 0; column < columnCount(); ++column)
        texts << item(row, column)->text();
    return texts;
}

QString FirmwareMismatch(const VersionInfo& unit, const VersionInfo& file) {
    if (SameFirmware(unit, file)) return {};
    return QStringLiteral("ПО ЗУЛ: версия %1, сборка %2; в файле: версия %3, сборка %4")
        .arg(unit.firmwareVersion)
        .arg(unit.compileNumber)
        .arg(file.firmwareVersion)
        .arg(file.compileNumber);
}

} // namespace kvel
