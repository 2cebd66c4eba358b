// TForm7, the service information window ("Сервисная информация").
#pragma once

#include "LinkState.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace kvel {

class FormTimer;

class TForm7 : public QWidget {
    Q_OBJECT
public:
    // Shows itself at once and reads `inputImage`, which must outlive it, every 500 ms.
    explicit TForm7(const RegisterImage& inputImage, QWidget* parent = nullptr);

    void Timer1Timer();

    QLabel* Label1;
    QPushButton* Button1;
    FormTimer* Timer1;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildForm();
    void FormCreate();
    void FormClose();
    void Button1Click();

    const RegisterImage& inputImage_;
};

} // namespace kvel
