// TForm3, the settings window "Установки".
#pragma once

#include "BoundField.h"
#include "FieldTable.h"
#include "FormControls.h"
#include "LinkState.h"

#include <QWidget>

#include <memory>
#include <vector>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvel {

// The window's RefreshHold counters. They belong to the program, not to a window: a new window
// takes over whatever the last one left.
struct SettingsHolds {
    RefreshHold Edit2 = 0;
    RefreshHold Edit3 = 0;
    RefreshHold Edit4 = 0;
    RefreshHold Edit5 = 0;
    RefreshHold CheckBox1 = 0;
    RefreshHold CheckBox2 = 0;
    RefreshHold CheckBox3 = 0;
    RefreshHold CheckBox4 = 0;
    RefreshHold CheckBox5 = 0;
    RefreshHold CheckBox6 = 0;
    RefreshHold CheckBox7 = 0;
    RefreshHold ComboBox1 = 0;
};

class TForm3 : public QWidget {
    Q_OBJECT
public:
    // Opens centred and becomes the newest settings window; `write` queues a register write.
    TForm3(LinkState& state, SettingsHolds& holds, RegisterWriter write, QWidget* parent = nullptr);

    // The settings refresh from HoldingImage, run for the newest window at each holding reply.
    void Refresh();
    const SettingsHolds& Holds() const { return holds_; }

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QLabel* Label10;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    CheckBox* CheckBox1;
    CheckBox* CheckBox2;
    CheckBox* CheckBox3;
    CheckBox* CheckBox4;
    CheckBox* CheckBox5;
    CheckBox* CheckBox6;
    CheckBox* CheckBox7;
    QFrame* Panel1;
    DropDownList* ComboBox1;
    QPushButton* Button4;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A check box holding one register's flag.
    struct FlagRow {
        CheckBox* box;
        RefreshHold* hold;
        std::uint16_t reg;
    };

    void BuildFields();
    void BuildFlags();
    void BuildRelayPanel();
    void BuildFlagRows();
    void SetTabOrder();
    void FormCreate();
    void FormClose();
    void Button4Click();
    void CheckBoxClick(const FlagRow& row);
    void ComboBox1DropDown();
    void ComboBox1Change(int index);
    void RefreshContacts(std::uint16_t index);
    void RefreshFlags(const RegisterImage& holding);

    LinkState& state_;
    SettingsHolds& holds_;
    RegisterWriter write_;
    std::vector<FlagRow> flags_;
    std::unique_ptr<FieldTable> fields_;
};

} // namespace kvel
