// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "dialogfolders.h"

#include <QDir>
#include <QFileInfo>

QString DialogFolders::key(EDialog dialog)
{
    switch (dialog) {
    case SaveCsv:
        return QStringLiteral("saveCsv");
    case Record:
        return QStringLiteral("record");
    case Open:
        return QStringLiteral("open");
    case Screenshot:
        return QStringLiteral("screenshot");
    case SaveSpectrum:
        return QStringLiteral("saveSpectrum");
    case DIALOG_COUNT:
        break;
    }
    return QString();
}

void DialogFolders::chose(EDialog dialog, const QString& fileName)
{
    if (!fileName.isEmpty())
        setFolder(dialog, QFileInfo(fileName).absolutePath());
}

QString DialogFolders::startPath(EDialog dialog, const QString& fileName) const
{
    const QString remembered = folder(dialog);
    if (remembered.isEmpty() || !QFileInfo(remembered).isDir())
        return fileName;
    return fileName.isEmpty() ? remembered : QDir(remembered).filePath(fileName);
}
