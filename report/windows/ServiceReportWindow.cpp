// The window "Отчёт для сервиса".
#include "ServiceReportWindow.h"

#include "FormFont.h"
#include "FormPlacement.h"
#include "MessageBox.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace kvel {

namespace {
constexpr QSize kOuterSize(520, 360);

QString SizeText(std::size_t bytes) {
    if (bytes < 1024) return QStringLiteral("%1 байт").arg(bytes);
    return QStringLiteral("%1 КБ").arg((bytes + 1023) / 1024);
}
} // namespace

ServiceReportWindow::ServiceReportWindow(ServiceReport report, std::string suggestedName,
                                         QWidget* parent)
    : QWidget(parent, Qt::Window), report_(std::move(report)),
      suggestedName_(std::move(suggestedName)) {
    setAttribute(Qt::WA_DeleteOnClose);
    ChooseFileName = [this] { return RunSaveDialog(); };
    BuildForm();
    ShowCentred(*this, kOuterSize);
}

void ServiceReportWindow::BuildForm() {
    setWindowTitle(QStringLiteral("Отчёт для сервиса"));
    setFont(MsSansSerif());
    auto* heading = new QLabel(QStringLiteral("В отчёт войдут:"));
    EntryList = new QListWidget;
    for (const ReportEntry& entry : report_.Entries())
        EntryList->addItem(QStringLiteral("%1 — %2 (%3)")
                               .arg(QString::fromStdString(entry.name),
                                    QString::fromStdString(entry.russianDescription),
                                    SizeText(entry.contents.size())));
    WhereLabel = new QLabel(QStringLiteral("Отчёт ещё не записан"));
    WhereLabel->setWordWrap(true);
    WhereLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SaveButton = new QPushButton(QStringLiteral("Сохранить…"));
    CloseButton = new QPushButton(QStringLiteral("Закрыть"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveButton);
    buttons->addWidget(CloseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(EntryList);
    layout->addWidget(WhereLabel);
    layout->addLayout(buttons);
    connect(SaveButton, &QPushButton::clicked, this, &ServiceReportWindow::SaveButtonClick);
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
}

QString ServiceReportWindow::RunSaveDialog() {
    return QFileDialog::getSaveFileName(
        this, QStringLiteral("Сохранить…"),
        QDir::current().filePath(QString::fromStdString(suggestedName_)),
        QStringLiteral("ZIP (*.zip)"));
}

void ServiceReportWindow::SaveButtonClick() {
    const QString path = ChooseFileName();
    activateWindow();
    if (path.isEmpty()) return;
    if (const std::optional<SaveFailure> failure = report_.Write(path.toStdString())) {
        ShowMessage(QStringLiteral("Отчёт не записан в %1: %2")
                        .arg(path, QString::fromStdString(failure->russianReason)));
        return;
    }
    WhereLabel->setText(QStringLiteral("Отчёт записан: ") + QDir::toNativeSeparators(path));
}

} // namespace kvel
