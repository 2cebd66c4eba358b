// The terminals a process holds open, read from /proc/<pid>/fd as a technician would look.
#pragma once

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace kvel::test {

inline QStringList OpenTerminals(qint64 pid) {
    QStringList terminals;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
        const QString target = fd.symLinkTarget();
        if (target.startsWith(QStringLiteral("/dev/tty")) ||
            target.startsWith(QStringLiteral("/dev/pts/")))
            terminals << target;
    }
    return terminals;
}

} // namespace kvel::test
