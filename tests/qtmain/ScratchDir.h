// Runs a test inside a fresh empty working directory, where data.inf and dosdevices/ are
// looked for, and returns to the old one afterwards.
#pragma once

#include <QDir>
#include <QTemporaryDir>

namespace kvel::test {

class ScratchDir {
public:
    ScratchDir() : old_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }
    ~ScratchDir() { QDir::setCurrent(old_); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    QString Path() const { return dir_.path(); }
    QString File(const QString& name) const { return dir_.filePath(name); }

private:
    QString old_;
    QTemporaryDir dir_;
};

} // namespace kvel::test
