// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "deviceaccess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

bool fileSystemCheck(const std::string& path)
{
    const QFileInfo node(QString::fromLocal8Bit(path.c_str()));
    if (!node.exists())
        return true;
    // Both ask the kernel (access(2)), so ACLs and the uaccess tag count.
    return node.isReadable() && node.isWritable();
}

DeviceAccess::Check& currentCheck()
{
    static DeviceAccess::Check check = fileSystemCheck;
    return check;
}

} // namespace

bool DeviceAccess::canReadWrite(const std::string& path)
{
    return currentCheck()(path);
}

void DeviceAccess::setCheck(Check check)
{
    currentCheck() = check ? std::move(check) : Check(fileSystemCheck);
}

QString DeviceAccess::installedUdevRule()
{
    const QString rule = QDir::cleanPath(QCoreApplication::applicationDirPath() +
                                         QStringLiteral("/../lib/udev/rules.d/70-skarvel.rules"));
    return QFileInfo::exists(rule) ? rule : QString();
}
