// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The File menu's Open Recent list: the last measurements opened or saved,
// newest first, and "Clear List". An entry whose file no longer exists is
// removed when chosen, with a message. GUI thread only.
#pragma once

#include <QObject>
#include <QStringList>

class QMenu;
class QWidget;

class RecentFiles : public QObject
{
    Q_OBJECT

public:
    static constexpr int MAX_FILES = 10;

    // Fills `menu` (owned by the caller) and asks through `dialogParent`.
    RecentFiles(QMenu* menu, QWidget* dialogParent);

    QMenu* menu() const { return m_menu; }
    // Absolute paths, newest first.
    const QStringList& files() const { return m_files; }
    // Takes the first MAX_FILES different non-empty paths, made absolute.
    void setFiles(const QStringList& files);
    // Puts the file first, once.
    void add(const QString& fileName);
    void clear();
    // While not, the menu is disabled (as Open is while measuring).
    void setEnabled(bool enabled);

signals:
    // An entry was chosen whose file exists.
    void openRequested(const QString& fileName);

private:
    void choose(const QString& fileName);
    void rebuildMenu();

    QMenu* m_menu;
    QWidget* m_dialogParent;
    QStringList m_files;
    bool m_enabled = true;
};
