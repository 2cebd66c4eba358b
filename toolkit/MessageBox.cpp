// Modal message boxes with an OK button.
#include "MessageBox.h"

#include <QApplication>
#include <QMessageBox>

namespace kvel {

namespace {
MessageSink& Sink() {
    static MessageSink sink;
    return sink;
}

void ShowBox(QMessageBox::Icon icon, const QString& text) {
    if (Sink()) {
        Sink()(text);
        return;
    }
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}
} // namespace

void ShowMessage(const QString& text) { ShowBox(QMessageBox::NoIcon, text); }

void ShowExceptionMessage(const QString& text) { ShowBox(QMessageBox::Critical, text); }

void SetMessageSink(MessageSink sink) { Sink() = std::move(sink); }

} // namespace kvel
