// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the program remembers between runs, in the user's settings (QSettings
// under the application id; on Linux $XDG_CONFIG_HOME/<id>.conf): the
// window's size and docks, the graphs' mode, time window and shown series,
// the spectrum's scales and series, the statistics' data view, each file
// dialog's folder, the recent files and the last connected sensor. Not the
// sensor's settings: a new connection shows what the sensor reports.
//
// Only the program's start-up creates a store, so a window made on its own
// starts from the defaults. A file that cannot be read is ignored with a
// warning on stderr, and so is each value that makes no sense. GUI thread only.
#pragma once

#include <QObject>
#include <QString>

class MainWindow;
class QSettings;

class SettingsStore : public QObject
{
    Q_OBJECT

public:
    // Belongs to the window and saves the settings when it closes.
    explicit SettingsStore(MainWindow* window);

    // Where the settings live.
    static QString fileName();

    // Before the window is shown: its size, place and screen state.
    void restoreGeometry();
    // Once it is shown, so that the docks' shown and hidden signals reach
    // their actions: everything else.
    void restore();
    // False when the settings could not be written.
    bool save();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Whether the settings file read well; warns when it did not.
    bool readable(QSettings& settings);
    // Warns about a value that makes no sense; it stays at its default.
    void ignored(const QSettings& settings, const QString& key) const;

    enum class ERead
    {
        NotYet,
        Usable,
        Ignored
    };

    MainWindow* m_window;
    ERead m_read = ERead::NotYet;
};
