// Collects the texts of the message boxes and questions shown while it lives; questions get
// `answer`.
#pragma once

#include "MessageBox.h"

#include <QStringList>

namespace kvel::test {

class MessageCapture {
public:
    MessageCapture() {
        SetMessageSink([this](const QString& text) { texts.append(text); });
        SetQuestionSink([this](const QString& text) {
            questions.append(text);
            return answer;
        });
    }
    ~MessageCapture() {
        SetMessageSink({});
        SetQuestionSink({});
    }
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;

    QStringList texts;
    QStringList questions;
    bool answer = false;
};

} // namespace kvel::test
