// "Сравнить с файлом…".
#include "SettingsCompareWindow.h"

#include "WindowParts.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvel {

SettingsCompareWindow::SettingsCompareWindow(const SettingsSnapshot& file, const QString& path,
                                             const LinkState& state, QWidget* parent)
    : QWidget(parent, Qt::Window) {
    setWindowTitle(QStringLiteral("Сравнение с файлом"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Файл: %1").arg(path), this));
    Firmware = AddFirmwareLabel(*layout, state, file);
    // Calibration values are shown too: a unit compared with its own file should match in them.
    const std::vector<Difference> differences = Differences(file, state.HoldingImage, true);
    Verdict = new QLabel(differences.empty()
                             ? QStringLiteral("Установки ЗУЛ совпадают с файлом")
                             : QStringLiteral("Отличаются от файла: %1").arg(differences.size()),
                         this);
    layout->addWidget(Verdict);
    Table = new DifferenceTable(this);
    Table->Show(differences);
    Table->setVisible(!differences.empty());
    layout->addWidget(Table);
    auto* close = new QPushButton(QStringLiteral("Закрыть"), this);
    connect(close, &QPushButton::clicked, this, &QWidget::close);
    layout->addWidget(close, 0, Qt::AlignRight);
    ShowServiceWindow(*this);
}

} // namespace kvel
