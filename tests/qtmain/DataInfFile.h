// data.inf in the working directory, as a test sets it up and reads back what the program left.
#pragma once

#include <QByteArray>
#include <QFile>

#include <gtest/gtest.h>

namespace kvel::test {

inline void WriteDataInf(const QByteArray& bytes) {
    QFile file("data.inf");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

inline QByteArray ReadDataInf() {
    QFile file("data.inf");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace kvel::test
