// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "durablefile.h"

#include <QFile>
#include <QFileDevice>

#include <cerrno>
#include <cstring>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace DurableFile {

bool syncData(QFileDevice& file, QString* reason)
{
    if (!file.flush()) {
        if (reason)
            *reason = file.errorString();
        return false;
    }
    const int fd = file.handle();
    if (fd < 0) {
        if (reason)
            *reason = QStringLiteral("The file is not open.");
        return false;
    }
#ifdef Q_OS_WIN
    const bool ok = _commit(fd) == 0;
#elif defined(Q_OS_MACOS)
    const bool ok = ::fsync(fd) == 0;
#else
    int result = 0;
    do
        result = ::fdatasync(fd);
    while (result != 0 && errno == EINTR);
    const bool ok = result == 0;
#endif
    if (!ok && reason)
        *reason = QString::fromLocal8Bit(std::strerror(errno));
    return ok;
}

bool syncDirectory(const QString& path)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return true; // NTFS keeps its directory entries in its journal
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
#endif
}

} // namespace DurableFile
