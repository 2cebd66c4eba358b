// TForm6, the controller firmware version window ("Версия ПО ЗУЛ").
#pragma once

#include "VersionInfo.h"

#include <QWidget>

class QLabel;
class QPushButton;

namespace kvel {

class FormTimer;

class TForm6 : public QWidget {
    Q_OBJECT
public:
    // Shows itself at once and follows `versionInfo`, which must outlive it, once a second.
    explicit TForm6(const VersionInfo& versionInfo, QWidget* parent = nullptr);

    void Timer1Timer();

    QLabel* Label5;
    QLabel* Label1;
    QLabel* Label2;
    QPushButton* Button1;
    FormTimer* Timer1;

private:
    void BuildForm();
    void Button1Click();

    const VersionInfo& versionInfo_;
};

} // namespace kvel
