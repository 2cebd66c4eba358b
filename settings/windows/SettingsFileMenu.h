// The settings-file items of the menu "Сервис": save the unit's settings to a file, compare
// them with one, and write them from one.
#pragma once

#include "ModbusLink.h"
#include "RoomHook.h"
#include "SettingsFile.h"

#include <QString>

#include <functional>
#include <optional>

class QAction;
class QWidget;

namespace kvel {

class SettingsFileMenu : public RoomHook, public LinkObserver {
    Q_OBJECT
public:
    SettingsFileMenu(ModbusLink& link, QWidget& mainWindow);

    QList<QAction*> ServiceItems() const override { return {SaveItem, CompareItem, RestoreItem}; }
    LinkObserver* Observer() override { return this; }

    // A restore in progress checks the unit's registers at every holding-register reply.
    void ReplyAccepted(LinkClock::time_point, ReplyKind kind) override;

    QAction* SaveItem;
    QAction* CompareItem;
    QAction* RestoreItem;
    // The file dialogs; tests replace them. An empty name means cancelled.
    std::function<QString()> ChooseFileToSave;
    std::function<QString()> ChooseFileToRead;

private:
    void OnHoldingReply();
    void SaveClick();
    void CompareClick();
    void RestoreClick();
    bool HasUnitData() const;
    std::optional<SettingsSnapshot> ReadChosenFile(QString& path);

    ModbusLink& link_;
    QWidget& mainWindow_;
};

} // namespace kvel
