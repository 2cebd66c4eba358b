// Collects the texts of the message boxes shown while it lives.
#pragma once

#include "MessageBox.h"

#include <QStringList>

namespace kvel::test {

class MessageCapture {
public:
    MessageCapture() {
        SetMessageSink([this](const QString& text) { texts.append(text); });
    }
    ~MessageCapture() { SetMessageSink({}); }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList texts;
};

} // namespace kvel::test
