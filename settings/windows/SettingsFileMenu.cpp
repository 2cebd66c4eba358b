// The settings-file items of the menu "Сервис".
#include "SettingsFileMenu.h"

#include "MessageBox.h"
#include "SettingsCompareWindow.h"
#include "SettingsFileStore.h"
#include "SettingsRestoreWindow.h"
#include "VersionInfo.h"
#include "WindowParts.h"

#include <QAction>
#include <QDateTime>
#include <QFileDialog>

namespace kvel {

namespace {
const QString kFilter = QStringLiteral("Установки ЗУЛ (*.ini);;Все файлы (*)");
} // namespace

SettingsFileMenu::SettingsFileMenu(ModbusLink& link, QWidget& mainWindow)
    : RoomHook(&mainWindow), link_(link), mainWindow_(mainWindow) {
    SaveItem = new QAction(QStringLiteral("Сохранить установки в файл…"), this);
    CompareItem = new QAction(QStringLiteral("Сравнить с файлом…"), this);
    RestoreItem = new QAction(QStringLiteral("Записать из файла…"), this);
    connect(SaveItem, &QAction::triggered, this, &SettingsFileMenu::SaveClick);
    connect(CompareItem, &QAction::triggered, this, &SettingsFileMenu::CompareClick);
    connect(RestoreItem, &QAction::triggered, this, &SettingsFileMenu::RestoreClick);
    ChooseFileToSave = [this] {
        return QFileDialog::getSaveFileName(&mainWindow_, SaveItem->text(),
                                            QStringLiteral("установки.ini"), kFilter);
    };
    ChooseFileToRead = [this] {
        return QFileDialog::getOpenFileName(&mainWindow_, QString(), QString(), kFilter);
    };
}

// The check may end in a message box, so it runs once the receiver is done: a modal loop opened
// inside would stall the receiver, whose timer Qt does not re-enter, and the scheduler would
// declare the unit lost 5 s later.
void SettingsFileMenu::ReplyAccepted(LinkClock::time_point, ReplyKind kind) {
    if (kind == ReplyKind::Holding)
        QMetaObject::invokeMethod(this, &SettingsFileMenu::OnHoldingReply, Qt::QueuedConnection);
}

void SettingsFileMenu::OnHoldingReply() {
    for (SettingsRestoreWindow* window : mainWindow_.findChildren<SettingsRestoreWindow*>())
        window->OnHoldingReply();
}

// A file made from blank images would hold nothing of the unit.
bool SettingsFileMenu::HasUnitData() const {
    if (kvel::HasUnitData(link_.State())) return true;
    ShowMessage(NoUnitDataText());
    return false;
}

void SettingsFileMenu::SaveClick() {
    if (!HasUnitData()) return;
    const QString path = ChooseFileToSave();
    if (path.isEmpty()) return;
    const SettingsSnapshot snapshot =
        SnapshotOf(link_.State().HoldingImage, VersionFromInputs(link_.State().InputImage),
                   QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString());
    const std::optional<SaveFailure> failure =
        SaveSettingsFile(path.toStdString(), WriteSettingsFile(snapshot));
    ShowMessage(failure ? QStringLiteral("Ошибка записи файла %1: %2")
                              .arg(path, QString::fromStdString(failure->russianReason))
                        : QStringLiteral("Установки сохранены в файл %1").arg(path));
}

std::optional<SettingsSnapshot> SettingsFileMenu::ReadChosenFile(QString& path) {
    if (!HasUnitData()) return std::nullopt;
    path = ChooseFileToRead();
    if (path.isEmpty()) return std::nullopt;
    SettingsFileRead read = LoadSettingsFile(path.toStdString());
    if (!read.snapshot)
        ShowMessage(QStringLiteral("Файл установок не прочитан: %1\n%2")
                        .arg(path, QString::fromStdString(read.russianError)));
    return std::move(read.snapshot);
}

void SettingsFileMenu::CompareClick() {
    QString path;
    const std::optional<SettingsSnapshot> file = ReadChosenFile(path);
    // The link may have been lost while the file was being chosen.
    if (file && HasUnitData()) new SettingsCompareWindow(*file, path, link_.State(), &mainWindow_);
}

void SettingsFileMenu::RestoreClick() {
    QString path;
    if (std::optional<SettingsSnapshot> file = ReadChosenFile(path))
        new SettingsRestoreWindow(std::move(*file), path, link_, &mainWindow_);
}

} // namespace kvel
