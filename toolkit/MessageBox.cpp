// Modal message boxes and questions.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
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

QWidget* OwnerOf(QWidget* asker) {
    return asker ? asker->window() : QApplication::activeWindow();
}

void ShowBox(QMessageBox::Icon icon, const QString& text, QWidget* asker) {
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    OwnerOf(asker));
    box.exec();
}
} // namespace

void ShowMessage(const QString& text, QWidget* asker) {
    ShowBox(QMessageBox::NoIcon, text, asker);
}

// The asker may be gone by then; the box then goes to the active window.
void ShowMessageLater(const QString& text, QWidget* asker) {
    QMetaObject::invokeMethod(
        qApp, [text, asker = QPointer<QWidget>(asker)] { ShowMessage(text, asker); },
        Qt::QueuedConnection);
}

void ShowExceptionMessage(const QString& text) {
    ShowBox(QMessageBox::Critical, text, nullptr);
}

// The buttons carry their Russian texts themselves, whatever translations are loaded.
bool AskYesNo(const QString& text, QWidget* asker) {
    if (Questions()) return Questions()(text);
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text,
                    QMessageBox::NoButton, OwnerOf(asker));
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.setDefaultButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

void ShowBroadcastRefusal(QWidget* asker) {
    ShowMessageLater(QStringLiteral("Адрес 0 — широковещательный: запись не отправлена"), asker);
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
