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

} // namespace

QString RegisterValueText(const unit::Register& info, std::uint16_t word) {
    if (info.encoding == unit::Encoding::Flag && word <= 1)
        return word != 0 ? QStringLiteral("вкл") : QStringLiteral("выкл");
    return QString::fromStdString(unit::RussianValueText(info, word));
}

DifferenceTable::DifferenceTable(QWidget* parent) : QTableWidget(0, 3, parent) {
    setHorizontalHeaderLabels(
        {QStringLiteral("Параметр"), QStringLiteral("В файле"), QStringLiteral("В ЗУЛ")});
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::NoSelection);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
}

void DifferenceTable::Show(const std::vector<Difference>& differences) {
    setRowCount(static_cast<int>(differences.size()));
    for (int row = 0; row < rowCount(); ++row) {
        const Difference& d = differences[static_cast<std::size_t>(row)];
        setItem(row, 0, new QTableWidgetItem(Caption(*d.info)));
        setItem(row, 1, new QTableWidgetItem(RegisterValueText(*d.info, d.fileWord)));
        setItem(row, 2, new QTableWidgetItem(RegisterValueText(*d.info, d.unitWord)));
    }
}

QStringList DifferenceTable::Row(int row) const {
    return {item(row, 0)->text(), item(row, 1)->text(), item(row, 2)->text()};
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
