// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "settingsstore.h"

#include "clivegraph.h"
#include "cspectrumview.h"
#include "dialogfolders.h"
#include "mainwindow.h"
#include "recentfiles.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QSettings>
#include <QSpinBox>

#include <cstdio>

namespace {

const QString GEOMETRY = QStringLiteral("window/geometry");
const QString STATE = QStringLiteral("window/state");
const QString MODE = QStringLiteral("graphs/mode");
const QString TIME_WINDOW = QStringLiteral("graphs/timeWindow");
const QString ACCEL_SHOWN = QStringLiteral("graphs/accelShown");
const QString GYRO_SHOWN = QStringLiteral("graphs/gyroShown");
const QString ACCEL_SERIES = QStringLiteral("graphs/accelSeries");
const QString GYRO_SERIES = QStringLiteral("graphs/gyroSeries");
const QString SPECTRUM_LOG = QStringLiteral("spectrum/logFrequency");
const QString SPECTRUM_DB = QStringLiteral("spectrum/decibel");
const QString SPECTRUM_ACCEL_SERIES = QStringLiteral("spectrum/accelSeries");
const QString SPECTRUM_GYRO_SERIES = QStringLiteral("spectrum/gyroSeries");
const QString DATA_VIEW = QStringLiteral("statistics/dataView");
const QString FOLDERS = QStringLiteral("folders/");
const QString LAST_SERIAL = QStringLiteral("sensor/lastSerial");
const QString RECENT_FILES = QStringLiteral("recentFiles");
const QString RECENT_PATH = QStringLiteral("path");

// The user's settings under the application id, without the system-wide
// fallbacks: what is restored is what the last run saved.
class Settings : public QSettings
{
public:
    Settings()
        : QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral(SKARVEL_APP_ID))
    {
        setFallbacksEnabled(false);
    }
};

template <typename T> T* part(MainWindow* window, const char* name)
{
    return window->findChild<T*>(QLatin1String(name));
}

// A series' shown state as one character each: "101" shows the first and the last.
template <typename Graph> QString seriesShown(const Graph& graph)
{
    QString shown;
    for (int i = 0; i < graph.seriesCount(); ++i)
        shown += QLatin1Char(graph.isSeriesVisible(i) ? '1' : '0');
    return shown;
}

template <typename Graph> bool showSeries(Graph& graph, const QString& shown)
{
    if (shown.size() != graph.seriesCount())
        return false;
    for (const QChar c : shown) {
        if (c != QLatin1Char('0') && c != QLatin1Char('1'))
            return false;
    }
    for (int i = 0; i < graph.seriesCount(); ++i)
        graph.setSeriesVisible(i, shown.at(i) == QLatin1Char('1'));
    return true;
}

// "true"/"false" as QSettings writes them; anything else is no answer.
bool readBool(const QSettings& settings, const QString& key, bool& value)
{
    const QString text = settings.value(key).toString();
    if (text != QLatin1String("true") && text != QLatin1String("false"))
        return false;
    value = text == QLatin1String("true");
    return true;
}

bool readInt(const QSettings& settings, const QString& key, int min, int max, int& value)
{
    bool ok = false;
    const int read = settings.value(key).toString().toInt(&ok);
    if (!ok || read < min || read > max)
        return false;
    value = read;
    return true;
}

} // namespace

SettingsStore::SettingsStore(MainWindow* window) : QObject(window), m_window(window)
{
    window->installEventFilter(this);
}

QString SettingsStore::fileName()
{
    return Settings().fileName();
}

bool SettingsStore::readable(QSettings& settings)
{
    // Judged at the first reading only: Qt reads a file again only when it
    // has changed, and a second reading of a damaged one reports no error.
    if (m_read != ERead::NotYet)
        return m_read == ERead::Usable;
    m_read = settings.status() == QSettings::NoError ? ERead::Usable : ERead::Ignored;
    if (m_read == ERead::Ignored) {
        const QString reason = settings.status() == QSettings::AccessError
                                   ? tr("it cannot be read")
                                   : tr("it is not a settings file");
        std::fprintf(stderr, "%s\n",
                     qPrintable(tr("skarvel-monitor: ignoring the settings file %1: %2; starting "
                                   "from the defaults.")
                                    .arg(QDir::toNativeSeparators(settings.fileName()), reason)));
    }
    return m_read == ERead::Usable;
}

void SettingsStore::ignored(const QSettings& settings, const QString& key) const
{
    std::fprintf(stderr, "%s\n",
                 qPrintable(tr("skarvel-monitor: ignoring the setting %1 in %2.")
                                .arg(key, QDir::toNativeSeparators(settings.fileName()))));
}

void SettingsStore::restoreGeometry()
{
    Settings settings;
    if (!readable(settings) || !settings.contains(GEOMETRY))
        return;
    if (!m_window->restoreGeometry(settings.value(GEOMETRY).toByteArray()))
        ignored(settings, GEOMETRY);
}

void SettingsStore::restore()
{
    Settings settings;
    if (!readable(settings))
        return;
    const auto ignore = [&](const QString& key) { ignored(settings, key); };

    // The docks and the tool bar, by object name: docks added later are
    // covered, and a dock the settings do not know keeps its default place.
    if (settings.contains(STATE) && !m_window->restoreState(settings.value(STATE).toByteArray()))
        ignore(STATE);

    int number = 0;
    auto* mode = part<QComboBox>(m_window, "cmb_display");
    if (settings.contains(MODE)) {
        if (readInt(settings, MODE, 0, mode->count() - 1, number))
            mode->setCurrentIndex(number);
        else
            ignore(MODE);
    }
    auto* time = part<QSpinBox>(m_window, "spin_time");
    if (settings.contains(TIME_WINDOW)) {
        if (readInt(settings, TIME_WINDOW, time->minimum(), time->maximum(), number))
            time->setValue(number);
        else
            ignore(TIME_WINDOW);
    }
    auto* dataView = part<QComboBox>(m_window, "cmb_dataview");
    if (settings.contains(DATA_VIEW)) {
        if (readInt(settings, DATA_VIEW, 0, dataView->count() - 1, number))
            dataView->setCurrentIndex(number);
        else
            ignore(DATA_VIEW);
    }

    // The graphs through their actions, so that the icons follow.
    const struct
    {
        const QString& key;
        const char* graph;
        const char* action;
    } graphs[] = {{ACCEL_SHOWN, "widget_accel", "actionShowAcc"},
                  {GYRO_SHOWN, "widget_gyro", "actionShowGyro"}};
    for (const auto& graph : graphs) {
        bool shown = true;
        if (!settings.contains(graph.key))
            continue;
        if (!readBool(settings, graph.key, shown))
            ignore(graph.key);
        else if (shown == part<QWidget>(m_window, graph.graph)->isHidden())
            part<QAction>(m_window, graph.action)->trigger();
    }
    const struct
    {
        const QString& key;
        const char* name;
    } liveSeries[] = {{ACCEL_SERIES, "widget_accel"}, {GYRO_SERIES, "widget_gyro"}},
      spectrumSeries[] = {{SPECTRUM_ACCEL_SERIES, "spectrum_accel"},
                          {SPECTRUM_GYRO_SERIES, "spectrum_gyro"}};
    for (const auto& series : liveSeries) {
        if (settings.contains(series.key) && !showSeries(*part<CLiveGraph>(m_window, series.name),
                                                         settings.value(series.key).toString()))
            ignore(series.key);
    }
    for (const auto& series : spectrumSeries) {
        if (settings.contains(series.key) &&
            !showSeries(*part<CSpectrumView>(m_window, series.name),
                        settings.value(series.key).toString()))
            ignore(series.key);
    }
    for (const auto& [key, name] :
         {std::pair{SPECTRUM_LOG, "chk_spectrum_log"}, std::pair{SPECTRUM_DB, "chk_spectrum_db"}}) {
        bool checked = false;
        if (!settings.contains(key))
            continue;
        if (readBool(settings, key, checked))
            part<QCheckBox>(m_window, name)->setChecked(checked);
        else
            ignore(key);
    }

    DialogFolders& folders = m_window->dialogFolders();
    for (int d = 0; d < DialogFolders::DIALOG_COUNT; ++d) {
        const auto dialog = DialogFolders::EDialog(d);
        folders.setFolder(dialog, settings.value(FOLDERS + DialogFolders::key(dialog)).toString());
    }
    QStringList recent;
    const int count = settings.beginReadArray(RECENT_FILES);
    for (int i = 0; i < count; ++i) {
        settings.setArrayIndex(i);
        recent.append(settings.value(RECENT_PATH).toString());
    }
    settings.endArray();
    m_window->recentFiles().setFiles(recent);
    m_window->setLastSerial(settings.value(LAST_SERIAL).toString());
}

bool SettingsStore::save()
{
    Settings settings;
    // Only what this version writes: a damaged file is replaced as a whole.
    settings.clear();
    settings.setValue(GEOMETRY, m_window->saveGeometry());
    settings.setValue(STATE, m_window->saveState());
    settings.setValue(MODE, part<QComboBox>(m_window, "cmb_display")->currentIndex());
    settings.setValue(TIME_WINDOW, part<QSpinBox>(m_window, "spin_time")->value());
    settings.setValue(DATA_VIEW, part<QComboBox>(m_window, "cmb_dataview")->currentIndex());
    settings.setValue(ACCEL_SHOWN, !part<QWidget>(m_window, "widget_accel")->isHidden());
    settings.setValue(GYRO_SHOWN, !part<QWidget>(m_window, "widget_gyro")->isHidden());
    settings.setValue(ACCEL_SERIES, seriesShown(*part<CLiveGraph>(m_window, "widget_accel")));
    settings.setValue(GYRO_SERIES, seriesShown(*part<CLiveGraph>(m_window, "widget_gyro")));
    settings.setValue(SPECTRUM_ACCEL_SERIES,
                      seriesShown(*part<CSpectrumView>(m_window, "spectrum_accel")));
    settings.setValue(SPECTRUM_GYRO_SERIES,
                      seriesShown(*part<CSpectrumView>(m_window, "spectrum_gyro")));
    settings.setValue(SPECTRUM_LOG, part<QCheckBox>(m_window, "chk_spectrum_log")->isChecked());
    settings.setValue(SPECTRUM_DB, part<QCheckBox>(m_window, "chk_spectrum_db")->isChecked());
    const DialogFolders& folders = m_window->dialogFolders();
    for (int d = 0; d < DialogFolders::DIALOG_COUNT; ++d) {
        const auto dialog = DialogFolders::EDialog(d);
        settings.setValue(FOLDERS + DialogFolders::key(dialog), folders.folder(dialog));
    }
    const QStringList& recent = m_window->recentFiles().files();
    settings.beginWriteArray(RECENT_FILES, int(recent.size()));
    for (int i = 0; i < recent.size(); ++i) {
        settings.setArrayIndex(i);
        settings.setValue(RECENT_PATH, recent.at(i));
    }
    settings.endArray();
    settings.setValue(LAST_SERIAL, m_window->lastSerial());
    settings.sync();
    // A format error is the damaged file's, which has just been replaced.
    if (settings.status() != QSettings::AccessError)
        return true;
    std::fprintf(stderr, "%s\n",
                 qPrintable(tr("skarvel-monitor: the settings could not be saved to %1.")
                                .arg(QDir::toNativeSeparators(settings.fileName()))));
    return false;
}

bool SettingsStore::eventFilter(QObject* watched, QEvent* event)
{
    // Before the window's own handler: the window is still whole here.
    if (watched == m_window && event->type() == QEvent::Close)
        save();
    return QObject::eventFilter(watched, event);
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_settingsstore.cpp"
