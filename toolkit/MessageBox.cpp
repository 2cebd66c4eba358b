// Modal message boxes and questions.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kvel {

namespace {
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

QuestionSink& Questions() {
    static QuestionSink sink;
    return sink;
}

void ShowBox(QMessageBox::Icon icon, const QString& text, QWidget* parent) {
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    parent ? parent : QApplication::activeWindow());
    box.exec();
}
} // namespace

void ShowMessage(const QString& text, QWidget* parent) {
    ShowBox(QMessageBox::NoIcon, text, parent);
}

void ShowMessageLater(const QString& text) {
    QMetaObject::invokeMethod(
        qApp, [text] { ShowMessage(text); }, Qt::QueuedConnection);
}

void ShowExceptionMessage(const QString& text) {
    ShowBox(QMessageBox::Critical, text, nullptr);
}

// The buttons carry their Russian texts themselves, whatever translations are loaded.
bool AskYesNo(const QString& text) {
    if (Questions()) return Questions()(text);
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void ShowBroadcastRefusal() {
    ShowMessageLater(QStringLiteral("Адрес 0 — широковещательный: запись не отправлена"));
}

void DismissOpenDialogs() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(window);
            dialog && dialog->isVisible() && dialog->isModal())
            dialog->reject();
}

void SetMessageSink(MessageSink sink) {
    Sink() = std::move(sink);
}

void SetQuestionSink(QuestionSink sink) {
    Questions() = std::move(sink);
}

} // namespace kvel
