// TForm5, the calibration window "Калибровка".
#pragma once

#include "BoundField.h"
#include "FieldTable.h"
#include "FormControls.h"
#include "LinkState.h"

#include <QWidget>

#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kvel {

// The window's RefreshHold counters. They belong to the program, not to a window: a new window
// takes over whatever the last one left.
struct CalibrationHolds {
    RefreshHold CheckBox1 = 0;
    RefreshHold Edit2 = 0;
    RefreshHold Edit3 = 0;
    RefreshHold Edit4 = 0;
    RefreshHold Edit5 = 0;
    RefreshHold Edit6 = 0;
    RefreshHold Edit7 = 0;
    RefreshHold Edit8 = 0;
    RefreshHold Edit9 = 0;
    RefreshHold RadioGroup1 = 0;
    RefreshHold RadioGroup2 = 0;
};

class TForm5 : public QWidget {
    Q_OBJECT
public:
    // Opens centred and becomes the newest calibration window; `write` queues a register write.
    TForm5(LinkState& state, CalibrationHolds& holds, RegisterWriter write,
           QWidget* parent = nullptr);

    // The calibration refresh from HoldingImage, run for the newest window at each holding reply.
    void Refresh();
    const CalibrationHolds& Holds() const { return holds_; }

    QLabel* Label1;
    QLabel* Label2;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    CheckBox* CheckBox1;
    QLineEdit* Edit1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QLineEdit* Edit4;
    QLineEdit* Edit5;
    QLineEdit* Edit6;
    QLineEdit* Edit7;
    QLineEdit* Edit8;
    QLineEdit* Edit9;
    RadioGroup* RadioGroup1;
    RadioGroup* RadioGroup2;
    QPushButton* Button1;
    QPushButton* Button2;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A radio group holding one register's index.
    struct ChoiceRow {
        RadioGroup* group;
        RefreshHold* hold;
        std::uint16_t reg;
    };

    void BuildFields();
    void BuildFieldTable();
    void BuildChoices();
    void BuildButtons();
    void SetTabOrder();
    void FormCreate();
    void FormClose();
    void CheckBox1Click();
    void RadioGroupClick(const ChoiceRow& row, int index);
    void Button1Click();
    void Button2Click();
    void RefreshEnableState(std::uint16_t enable);
    void RefreshChoices(const RegisterImage& holding);
    std::vector<QWidget*> GuardedControls() const;

    LinkState& state_;
    CalibrationHolds& holds_;
    RegisterWriter write_;
    std::vector<ChoiceRow> choices_;
    std::unique_ptr<FieldTable> fields_;
};

} // namespace kvel
