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

QString DeviceAccess::guidance(const std::string& path)
{
    // The device dialog's texts, in its translation context.
    const auto tr = [](const char* text) {
        return QCoreApplication::translate("DeviceDialog", text);
    };
    const QString node = QString::fromLocal8Bit(path.c_str());
    const QString command = QStringLiteral("sudo udevadm control --reload && sudo udevadm trigger");
    const QString rule = installedUdevRule();
    // udev reads rules from /usr/lib and /etc, not from other installation prefixes.
    return rule.startsWith(QLatin1String("/usr/lib/udev/"))
               ? tr("This user may not read and write %1.\n"
                    "The udev rule %2 gives the user at the desktop\n"
                    "(and the plugdev group) access. Load it, then unplug and\n"
                    "re-plug the sensor:\n%3")
                     .arg(node, rule, command)
               : tr("This user may not read and write %1.\n"
                    "To give the user at the desktop (and the plugdev group) access,\n"
                    "copy the udev rule %2 to /etc/udev/rules.d/, load it,\n"
                    "then unplug and re-plug the sensor:\n%3")
                     .arg(node, rule.isEmpty() ? QStringLiteral("70-skarvel.rules") : rule,
                          command);
}
