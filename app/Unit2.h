// TForm2, the connection parameters window: COM port, bit rate and the unit's address.
#pragma once

#include <QWidget>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kvel {

class TForm1;

class TForm2 : public QWidget {
    Q_OBJECT
public:
    // Shows itself at once; it works on the main window that the program-wide reference names.
    explicit TForm2(QWidget* parent = nullptr);

    QLabel* StaticText1;
    QLabel* StaticText2;
    QLabel* StaticText3;
    QLabel* StaticText4;
    QLineEdit* Edit1;
    QComboBox* ComboBox1;
    QLineEdit* Edit2;
    QLineEdit* Edit3;
    QPushButton* Button1;
    QPushButton* Button2;
    QPushButton* Button3;
    QPushButton* Button4;
    QPushButton* Button5;

protected:
    bool event(QEvent* event) override;

private:
    void BuildForm();
    void PlaceRow(int row, QLabel* staticText, QWidget* entry, QPushButton* button);
    static TForm1& Main();

    void FormActivate();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();
};

} // namespace kvel
