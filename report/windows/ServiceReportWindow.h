// The window "Отчёт для сервиса": what the report will hold, listed before it is written, and
// where it was written.
#pragma once

#include "ServiceReport.h"

#include <QWidget>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace kvel {

class ServiceReportWindow : public QWidget {
    Q_OBJECT
public:
    // Shows `report` as it stands; "Сохранить…" writes it where the operator chooses.
    ServiceReportWindow(ServiceReport report, std::string suggestedName, QWidget* parent = nullptr);

    QListWidget* EntryList;
    QLabel* WhereLabel;
    QPushButton* SaveButton;
    QPushButton* CloseButton;

    // The file to write, empty when cancelled. Runs a save dialog unless replaced, so tests
    // can choose without a modal dialog.
    std::function<QString()> ChooseFileName;

    const ServiceReport& Report() const { return report_; }

private:
    void BuildForm();
    void SaveButtonClick();
    QString RunSaveDialog();

    ServiceReport report_;
    std::string suggestedName_;
};

} // namespace kvel
