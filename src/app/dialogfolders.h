// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The folder each of the window's file dialogs chose last, so that the next
// one starts there. Until a dialog has chosen a file it starts where it
// always did: in the working directory.
#pragma once

#include <QString>

#include <array>

class DialogFolders
{
public:
    enum EDialog
    {
        SaveCsv,
        Record,
        Open,
        Screenshot,
        SaveSpectrum,
        DIALOG_COUNT
    };

    // The dialog's name in the settings file.
    static QString key(EDialog dialog);

    QString folder(EDialog dialog) const { return m_folders[std::size_t(dialog)]; }
    void setFolder(EDialog dialog, const QString& folder)
    {
        m_folders[std::size_t(dialog)] = folder;
    }
    // Remembers the folder of a file the dialog chose; an empty name (the
    // dialog was cancelled) changes nothing.
    void chose(EDialog dialog, const QString& fileName);
    // What the dialog starts with: the file name in the dialog's folder, or
    // alone while that folder is unknown or gone.
    QString startPath(EDialog dialog, const QString& fileName = QString()) const;

private:
    std::array<QString, DIALOG_COUNT> m_folders;
};
