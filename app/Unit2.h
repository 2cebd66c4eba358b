// TForm2, the connection parameters window: COM port, bit rate and the unit's address.
#pragma once

#include "PortDirectory.h"

#include <QWidget>

#include <optional>
#include <vector>

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
    // The ports the system has; choosing one fills Edit1. Button6 lists them again.
    QComboBox* ComboBox2;
    QPushButton* Button6;

    // Where the port list comes from; an empty lister restores the system's.
    static void SetPortLister(SerialPortLister lister);
    // Also when another window has changed the settings in use.
    void FormActivate();

protected:
    bool event(QEvent* event) override;

private:
    void ShowStoredRate();
    void BuildForm();
    void PlaceRow(int row, QLabel* staticText, QWidget* entry, QPushButton* button);
    void RefreshPortList();
    void ComboBox2Change(int index);
    // The chosen device's dosdevices link, made only once "OK" confirms it; false when it cannot
    // be (the device has gone, or no link can be made), the operator having been told why.
    bool NameChosenDevice(std::uint16_t& number);
    static TForm1& Main();

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void Button5Click();

    std::vector<PortChoice> ports_;
    // A listed device without a COM number that the operator chose, with the number Edit1 shows
    // for it; nothing is made for it until "OK".
    std::optional<PortChoice> unnamedChoice_;
};

} // namespace kvel
