// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The window's side that deals with files: saving, recording, opening, and the
// desktop's ways of reaching them (recent files, drops, the title).
#include "mainwindow.h"
#include "mainwindowui.h"

#include "filedrop.h"
#include "recentfiles.h"
#include "shortcuts.h"
#include "spectrumpanel.h"

#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPixmap>

#include <functional>

namespace {

// Offers a file name stamped with the current time in the dialog's last
// folder; namePattern takes the stamp as %1.
QString saveFileName(QWidget* parent, DialogFolders& folders, DialogFolders::EDialog dialog,
                     const QString& title, const char* namePattern, const QString& filter)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd_HHmmss"));
    const QString fileName = QFileDialog::getSaveFileName(
        parent, title, folders.startPath(dialog, QLatin1String(namePattern).arg(stamp)), filter);
    folders.chose(dialog, fileName);
    return fileName;
}

// Calls back once, when the watched widget is first shown (laid out by then).
class FirstShow : public QObject
{
public:
    FirstShow(QWidget* widget, std::function<void()> shown)
        : QObject(widget), m_shown(std::move(shown))
    {
        widget->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched == parent()) {
            parent()->removeEventFilter(this);
            m_shown();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_shown;
};

} // namespace

// --- CSV and screenshot export ---------------------------------------------

void MainWindow::onSaveCsv()
{
    const QString fileName =
        saveFileName(this, m_folders, DialogFolders::SaveCsv, tr("Save measurement"),
                     "skarvel_%1.csv", tr("CSV file (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (writeCsv(fileName))
        m_recent->add(fileName);
    else
        QMessageBox::critical(this, tr("Save"), tr("Saving %1 failed.").arg(fileName));
}

bool MainWindow::writeCsv(const QString& fileName)
{
    // An opened file keeps its date, so that saving it again gives the same file.
    const QDateTime date =
        m_files.hasOpened() ? m_files.openedDate() : QDateTime::currentDateTime();
    CsvWriter::SHeader header = m_files.header(date, m_measurementSerial, m_measurementFirmware);
    header.trigger = m_trigger.shownSection(); // a capture on screen is saved as one
    return m_files.writeCsv(fileName, header);
}

void MainWindow::onScreenshot()
{
    const QString fileName =
        saveFileName(this, m_folders, DialogFolders::Screenshot, tr("Save screenshot"),
                     "skarvel_%1.jpg", tr("JPEG image (*.jpg *.jpeg)"));
    if (fileName.isEmpty())
        return;
    const QPixmap picture = m_spectrum.besideGraphs(ui->centralwidget->grab());
    if (!MeasurementFiles::writeJpeg(fileName, picture))
        QMessageBox::critical(this, tr("Screenshot"), tr("Saving %1 failed.").arg(fileName));
}

void MainWindow::onSaveSpectrum()
{
    const QString fileName =
        saveFileName(this, m_folders, DialogFolders::SaveSpectrum, tr("Save spectrum"),
                     "skarvel_spectrum_%1.csv", tr("CSV file (*.csv)"));
    if (fileName.isEmpty())
        return;
    if (!m_spectrum.panel()->writeCsv(fileName))
        QMessageBox::critical(this, tr("Save"), tr("Saving %1 failed.").arg(fileName));
}

// --- Recording and opened measurements --------------------------------------

void MainWindow::onRecordTriggered(bool checked)
{
    if (!checked) {
        m_files.endRecording();
        updateMeasurementStatus();
        return;
    }
    const QString fileName =
        saveFileName(this, m_folders, DialogFolders::Record, tr("Record measurement"),
                     "skarvel_%1.csv", tr("CSV file (*.csv)"));
    if (fileName.isEmpty() || !startRecording(fileName))
        ui->actionRecord->setChecked(false);
    else
        m_recent->add(fileName);
}

bool MainWindow::startRecording(const QString& fileName)
{
    if (!m_files.startRecording(fileName))
        return false;
    updateMeasurementStatus();
    return true;
}

void MainWindow::onOpenMeasurement()
{
    if (refuseWhileMeasuring())
        return;
    const QString fileName = QFileDialog::getOpenFileName(this, tr("Open measurement"),
                                                          m_folders.startPath(DialogFolders::Open),
                                                          tr("CSV file (*.csv)"));
    m_folders.chose(DialogFolders::Open, fileName);
    if (!fileName.isEmpty())
        openMeasurement(fileName);
}

bool MainWindow::refuseWhileMeasuring()
{
    if (!m_measuring)
        return false;
    QMessageBox::information(this, tr("Open"),
                             tr("Stop the measurement before opening a measurement file."));
    return true;
}

bool MainWindow::openMeasurement(const QString& fileName)
{
    if (refuseWhileMeasuring() || !m_files.open(fileName, [this] { clearMeasurement(); }))
        return false;
    m_recent->add(fileName);
    m_measurementSerial = m_files.openedSerial();
    m_measurementFirmware = m_files.openedFirmware();
    m_measureDurationMs = m_files.openedDurationMs();
    m_trigger.showOpened(m_files.openedTrigger());
    if (m_sensor.IsConnected()) {
        showDeviceParams();
        m_files.sensorSettingsChanged(); // a recording armed for the next start
    } else {
        m_settingsView.updateLowLatencyEnabled(false);
        updateYScales();
    }
    updateTimeScroll(true);
    updateStatistics();
    updateUiState();
    return true;
}

// --- Desktop conventions -------------------------------------------------------

void MainWindow::setupDesktop()
{
    // Connect and Start/Stop in a menu too, where their keys show.
    auto* measurement = new QMenu(tr("Measurement"), this);
    measurement->setObjectName(QStringLiteral("menuMeasurement"));
    measurement->addActions({ui->actionConnect, ui->actionDisconnect});
    measurement->addSeparator();
    measurement->addActions({ui->actionStart, ui->actionStop, ui->actionReset});
    menuBar()->insertMenu(ui->menuOption->menuAction(), measurement);

    auto* recentMenu = new QMenu(tr("Open Recent"), this);
    recentMenu->setObjectName(QStringLiteral("menuRecent"));
    ui->menuFile->insertMenu(ui->actionSaveCsv, recentMenu);
    m_recent = new RecentFiles(recentMenu, this);
    connect(m_recent, &RecentFiles::openRequested, this,
            [this](const QString& fileName) { openMeasurement(fileName); });

    auto* drop = new FileDrop(this);
    connect(drop, &FileDrop::dropped, this,
            [this](const QString& fileName) { openMeasurement(fileName); });

    // Every dock in place by now, and laid out once shown (before the
    // start-up restores the remembered layout): what Reset Layout returns to.
    m_defaultLayout = saveState();
    new FirstShow(this, [this] { m_defaultLayout = saveState(); });
    ui->menuView->addSeparator();
    QAction* resetLayout = ui->menuView->addAction(tr("Reset Layout"));
    resetLayout->setObjectName(QStringLiteral("actionResetLayout"));
    resetLayout->setToolTip(tr("Put the docks back where they were at the first start"));
    connect(resetLayout, &QAction::triggered, this, [this] { restoreState(m_defaultLayout); });

    Shortcuts::assign(this);
}

void MainWindow::updateWindowTitle()
{
    const QString name = QStringLiteral("Skarvel Monitor");
    setWindowTitle(
        m_files.hasOpened()
            ? tr("%1 \u2013 %2").arg(QFileInfo(m_files.openedFileName()).fileName(), name)
            : name);
}
