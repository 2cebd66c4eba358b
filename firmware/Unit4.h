// TForm4, the firmware update window "Обновление программы ЗУЛ".
#pragma once

#include "FirmwareTransfer.h"
#include "FormTimer.h"

#include <QWidget>

#include <functional>

class QFileDialog;
class QLabel;
class QPushButton;

namespace kvel {

// Says in a box over `asker` why the upload may not start now; true when it may.
bool UploadMayStart(const LinkState& state, QWidget* asker);

class TForm4 : public QWidget, private UploadView {
    Q_OBJECT
public:
    // Sets the intervals of the main window's poll timer (Timer1) and transmit timer (Timer2).
    using MainTimers = std::function<void(int timer1Ms, int timer2Ms)>;

    // Runs FormCreate and shows itself.
    TForm4(FirmwareTransfer& transfer, LinkState& link, SerialChannel& channel,
           MainTimers setMainTimers, QWidget* parent = nullptr);

    QPushButton* Button1;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* Button2;
    QFileDialog* OpenDialog1;
    FormTimer* Timer1;

    // The file the operator picks, empty when cancelled. Runs OpenDialog1 unless replaced, so
    // tests can choose without a modal dialog.
    std::function<QString()> ChooseFileName;

    void Button1Click();
    void Button2Click();
    void Timer1Timer();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    QString RunOpenDialog();
    void FormCreate();
    void FormClose();
    bool RawImageConfirmed(const QString& path);
    void Refuse();
    void Refuse(const QString& text);

    // UploadView
    void ShowStatus(const std::string& utf8Text) override;
    void OfferClose() override;
    void StopTicks() override;
    void StartClosingPause(int ms) override;

    MainTimers setMainTimers_;
    const LinkState& link_;
    FirmwareUpload upload_;
};

} // namespace kvel
