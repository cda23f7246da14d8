// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "recentfiles.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>

namespace {

QString absolute(const QString& fileName)
{
    return QDir::cleanPath(QFileInfo(fileName).absoluteFilePath());
}

} // namespace

RecentFiles::RecentFiles(QMenu* menu, QWidget* dialogParent)
    : QObject(menu), m_menu(menu), m_dialogParent(dialogParent)
{
    m_menu->setToolTipsVisible(true); // an entry's whole path
    rebuildMenu();
}

void RecentFiles::setFiles(const QStringList& files)
{
    m_files.clear();
    for (const QString& file : files) {
        if (m_files.size() == MAX_FILES)
            break;
        if (!file.isEmpty() && !m_files.contains(absolute(file)))
            m_files.append(absolute(file));
    }
    rebuildMenu();
}

void RecentFiles::add(const QString& fileName)
{
    if (fileName.isEmpty())
        return;
    const QString path = absolute(fileName);
    m_files.removeAll(path);
    m_files.prepend(path);
    while (m_files.size() > MAX_FILES)
        m_files.removeLast();
    rebuildMenu();
}

void RecentFiles::clear()
{
    m_files.clear();
    rebuildMenu();
}

void RecentFiles::setEnabled(bool enabled)
{
    m_enabled = enabled;
    m_menu->setEnabled(enabled && !m_files.isEmpty());
}

void RecentFiles::choose(const QString& fileName)
{
    if (QFileInfo(fileName).isFile()) {
        emit openRequested(fileName);
        return;
    }
    m_files.removeAll(fileName);
    rebuildMenu();
    QMessageBox::warning(m_dialogParent, tr("Open Recent"),
                         tr("%1 no longer exists. It has been removed from the list.")
                             .arg(QDir::toNativeSeparators(fileName)));
}

void RecentFiles::rebuildMenu()
{
    // Later: rebuilt from an entry's own triggered signal, the entry is still in use.
    const QList<QAction*> old = m_menu->actions();
    for (QAction* action : old) {
        m_menu->removeAction(action);
        action->deleteLater();
    }
    for (int i = 0; i < m_files.size(); ++i) {
        const QString& path = m_files.at(i);
        // Keys 1 to 9 choose the first nine, as menus usually offer.
        QString name = QFileInfo(path).fileName();
        name.replace(QLatin1Char('&'), QLatin1String("&&"));
        const QString number = i < 9 ? QStringLiteral("&%1").arg(i + 1) : QString::number(i + 1);
        QAction* entry = m_menu->addAction(QStringLiteral("%1  %2").arg(number, name));
        entry->setObjectName(QStringLiteral("actionRecentFile%1").arg(i + 1));
        entry->setToolTip(QDir::toNativeSeparators(path));
        entry->setStatusTip(QDir::toNativeSeparators(path));
        connect(entry, &QAction::triggered, this, [this, path] { choose(path); });
    }
    m_menu->addSeparator();
    QAction* clearAction = m_menu->addAction(tr("Clear List"));
    clearAction->setObjectName(QStringLiteral("actionClearRecentFiles"));
    clearAction->setEnabled(!m_files.isEmpty());
    connect(clearAction, &QAction::triggered, this, &RecentFiles::clear);
    m_menu->setEnabled(m_enabled && !m_files.isEmpty());
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_recentfiles.cpp"
