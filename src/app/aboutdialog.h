// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Version, contact links and the licences of the open-source components.
#pragma once

#include <QDialog>

class AboutDialog : public QDialog
{
    Q_OBJECT

public:
    explicit AboutDialog(QWidget* parent = nullptr);

public slots:
    // Opens the licence file with the desktop's viewer, looking beside the
    // executable first, then in the installed documentation folder.
    void openLicenseFile(const QString& fileName);
    // A target without a scheme has been turned into a mailto: link already.
    void openExternalLink(const QString& url);
};
