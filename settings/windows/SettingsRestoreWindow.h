// "Записать из файла…": shows how the unit differs from a settings file, marking the values the
// unit would refuse, and on confirmation writes the differing registers through the request
// queue, writes again what the read-back does not show, and reports each register as written,
// not written or unknown.
#pragma once

#include "DifferenceTable.h"
#include "ModbusLink.h"
#include "SettingsRestore.h"

#include <QTimer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace kvel {

class SettingsRestoreWindow : public QWidget {
    Q_OBJECT
public:
    SettingsRestoreWindow(SettingsSnapshot file, const QString& path, ModbusLink& link,
                          QWidget* parent);

    // The main window calls this after every accepted holding-register reply.
    void OnHoldingReply();

    QLabel* Firmware;
    QCheckBox* WithCalibration;
    DifferenceTable* Table;
    QLabel* Question;
    QPushButton* Write;
    QPushButton* Cancel;

private:
    std::vector<Difference> CurrentDifferences() const;
    void ShowDifferences();
    void WriteClick();
    void StartRound();
    void Report();
    void GiveUp();

    // The preview follows the unit until "Записать"; the report stays until the next preview.
    enum class Phase { Preview, Writing, Report };

    SettingsSnapshot file_;
    ModbusLink& link_;
    SettingsRestore restore_;
    Phase phase_ = Phase::Preview;
    // Ends the wait for a read-back when the unit does not answer.
    QTimer* watchdog_ = new QTimer(this);
};

} // namespace kvel
