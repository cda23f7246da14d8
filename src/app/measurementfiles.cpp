// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "measurementfiles.h"
#include "mainwindowui.h"

#include "csvreader.h"
#include "measurementsession.h"
#include "openrangedialog.h"
#include "sensorsettingstexts.h"
#include "sensorsettingsview.h"
#include "skarvelprotocol.h"
#include "statusbarview.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressDialog>
#include <QSaveFile>
#include <QStatusBar>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The window's dialogs and messages: their texts belong to the window.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

// The statistics' raw words of the newest frame follow from its values and the file's ranges.
std::array<int, 6> latestRawWords(const CsvReader& reader, const SSkarvelParams& params)
{
    std::array<int, 6> latestRaw{};
    if (reader.loadedCount() == 0)
        return latestRaw;
    const std::size_t last = 3 * (reader.loadedCount() - 1);
    const double sensitivities[2] = {skarvel::accelSensitivity(params.accelRange),
                                     skarvel::gyroSensitivity(params.gyroRange)};
    for (std::size_t axis = 0; axis < 6; ++axis) {
        const float value =
            axis < 3 ? reader.accelFrames()[last + axis] : reader.gyroFrames()[last + axis - 3];
        latestRaw[axis] =
            int(std::lround(double(value) * 1000.0 / sensitivities[axis / 3])) + skarvel::AXIS_ZERO;
    }
    return latestRaw;
}

} // namespace

MeasurementFiles::MeasurementFiles(QMainWindow* window, Ui_MainWindow* ui,
                                   MeasurementSession& session, CSkarvel& sensor,
                                   SensorSettingsView& settingsView, StatusBarView& statusBar)
    : m_window(window), ui(ui), m_session(session), m_sensor(sensor), m_settingsView(settingsView),
      m_statusBar(statusBar)
{}

CsvWriter::SHeader MeasurementFiles::header(const QDateTime& date, const std::wstring& serial,
                                            uint16_t firmware) const
{
    return SensorSettingsTexts::fileHeader(date, QString::fromStdWString(serial), firmware,
                                           m_settingsView.params(SSkarvelParams()));
}

bool MeasurementFiles::writeCsv(const QString& fileName, const CsvWriter::SHeader& header) const
{
    // Written aside and renamed over the target on commit: a failed save never
    // leaves an existing file half written.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    CsvWriter csv(&file);
    csv.writeHeader(header);

    const CLiveGraph* accel = ui->widget_accel;
    const CLiveGraph* gyro = ui->widget_gyro;
    const quint64 rows = std::min(accel->storedSampleCount(), gyro->storedSampleCount());
    for (quint64 i = 0; i < rows; ++i) {
        const float a[3] = {accel->storedSample(0, i), accel->storedSample(1, i),
                            accel->storedSample(2, i)};
        const float g[3] = {gyro->storedSample(0, i), gyro->storedSample(1, i),
                            gyro->storedSample(2, i)};
        csv.writeSample(accel->storedSampleTime(i), a, g);
    }
    if (!csv.flush())
        return false; // the temporary file is discarded, the target stays as it was
    return file.commit();
}

bool MeasurementFiles::writeJpeg(const QString& fileName, const QPixmap& picture)
{
    // Encoded in memory first: the image writer ignores a failure to write its
    // last buffered bytes, which would let a cut-off picture replace the old one.
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !picture.save(&buffer, "JPG", 100))
        return false;
    QSaveFile file(fileName);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush() &&
           file.commit();
}

// --- Recording -----------------------------------------------------------------

bool MeasurementFiles::startRecording(const QString& fileName)
{
    if (!m_sensor.IsConnected() || m_recorder.isRecording())
        return false;
    if (!m_recorder.start(fileName, header(QDateTime::currentDateTime(), m_sensor.GetSerialNumber(),
                                           m_sensor.GetFirmware()))) {
        QMessageBox::critical(m_window, tr("Record"), m_recorder.errorString());
        return false;
    }
    ui->actionRecord->setChecked(true);
    return true;
}

void MeasurementFiles::recordSamples(const std::vector<float>& accel,
                                     const std::vector<float>& gyro, quint64 nextIndex)
{
    if (!m_recorder.isRecording())
        return;
    // Its first frame's index gives the times.
    const quint64 frames = std::min(accel.size(), gyro.size()) / 3;
    m_recorder.appendFrames(accel, gyro, nextIndex - frames, skarvel::SAMPLE_RATE);
}

void MeasurementFiles::endRecording()
{
    if (!m_recorder.isRecording())
        return;
    const bool ok = m_recorder.stop();
    ui->actionRecord->setChecked(false);
    m_statusBar.showRecording(QString(), 0);
    if (!ok)
        QMessageBox::critical(m_window, tr("Record"), m_recorder.errorString());
}

void MeasurementFiles::sensorSettingsChanged()
{
    if (m_recorder.isRecording())
        m_recorder.setHeader(header(QDateTime::currentDateTime(), m_sensor.GetSerialNumber(),
                                    m_sensor.GetFirmware()));
}

void MeasurementFiles::showRecordingStatus()
{
    const qint64 recordedMs =
        qint64(double(m_recorder.recordedSamples()) * 1000.0 / skarvel::SAMPLE_RATE);
    m_statusBar.showRecording(m_recorder.isRecording() ? QFileInfo(m_recorder.fileName()).fileName()
                                                       : QString(),
                              recordedMs);
}

// --- Opened measurements ---------------------------------------------------------

bool MeasurementFiles::open(const QString& fileName, const std::function<void()>& clearStored)
{
    const auto failed = [&](const QString& reason) {
        QMessageBox::critical(m_window, tr("Open"),
                              tr("Opening %1 failed:\n%2").arg(fileName, reason));
        return false;
    };
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return failed(file.errorString());

    // Everything is read and checked before anything of the window changes.
    CLiveGraph* accel = ui->widget_accel;
    CLiveGraph* gyro = ui->widget_gyro;
    CsvReader reader(&file, accel->maxSampleCount());
    constexpr int PROGRESS_STEPS = 1000;
    QProgressDialog progress(tr("Reading %1").arg(QFileInfo(fileName).fileName()), tr("Cancel"), 0,
                             PROGRESS_STEPS, m_window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoReset(false);
    const auto report = [&](qint64 done, qint64 total) {
        if (total > 0)
            progress.setValue(int(double(done) / double(total) * PROGRESS_STEPS));
        return !progress.wasCanceled();
    };
    if (!reader.scan(report))
        return reader.cancelled() ? false : failed(reader.errorString());

    const CsvWriter::SHeader& header = reader.header();
    SSkarvelParams params = m_sensor.GetParams();
    int unknown = -1;
    if (!SensorSettingsTexts::paramsFromTexts(header.settings, params, unknown)) {
        const QStringList expected = SensorSettingsTexts::labels();
        const QString reason =
            unknown < header.settings.size() &&
                    header.settings.at(unknown).first == expected.value(unknown)
                ? tr("\"%1\" is not a choice of %2")
                      .arg(header.settings.at(unknown).second, header.settings.at(unknown).first)
                : tr("expected the setting \"%1\"").arg(expected.value(unknown));
        return failed(tr("Line %1: %2").arg(reader.settingsLine() + unknown).arg(reason));
    }
    std::optional<Trigger::SMarker> trigger;
    if (!header.trigger.isEmpty()) {
        Trigger::SMarker marker;
        int badLine = 0;
        QString reason;
        if (!Trigger::fromSectionTexts(header.trigger, skarvel::SAMPLE_RATE, marker, badLine,
                                       reason))
            return failed(tr("Line %1: %2").arg(reader.triggerLine() + badLine).arg(reason));
        const quint64 first = reader.firstSampleIndex();
        if (marker.triggerIndex < first || marker.triggerIndex - first >= reader.sampleCount())
            return failed(tr("Line %1: %2")
                              .arg(reader.triggerLine() + header.trigger.size() - 1)
                              .arg(tr("the trigger time is not the time of a sample in the file")));
        trigger = marker;
    }
    if (reader.sampleCount() > reader.loadedCount()) {
        progress.hide();
        OpenRangeDialog dialog(reader.sampleCount(), accel->maxSampleCount(), skarvel::SAMPLE_RATE,
                               m_window);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        const quint64 start = dialog.startSample();
        if (start != 0 && !reader.load(start, report))
            return reader.cancelled() ? false : failed(reader.errorString());
    }
    progress.close();

    // The file's measurement replaces the stored one, as a Start would.
    clearStored();
    accel->clearFrom(reader.firstSampleIndex() + reader.loadedStart());
    gyro->clearFrom(reader.firstSampleIndex() + reader.loadedStart());
    accel->appendSamples(reader.accelFrames());
    gyro->appendSamples(reader.gyroFrames());
    m_openedFile = fileName;
    m_openedDate = header.date;
    m_openedParams = params;
    m_openedSerial = header.serialNumber.toStdWString();
    m_openedFirmware = header.firmware;
    m_openedDurationMs = qint64(double(reader.loadedCount()) * 1000.0 / skarvel::SAMPLE_RATE);
    m_openedTrigger = trigger;
    m_session.restoreStatistics(reader.loadedCount(), latestRawWords(reader, params));

    // The inputs show the file's settings; a connected sensor takes them, so
    // that what is shown is what the next measurement uses.
    m_settingsView.show(params);
    if (m_sensor.IsConnected() && !m_sensor.SetParams(params))
        m_window->statusBar()->showMessage(
            tr("Setting sensor parameters failed: %1")
                .arg(QString::fromStdString(m_sensor.GetLastError())),
            5000);
    if (m_sensor.IsConnected())
        m_session.setRanges(m_sensor.GetParams());
    return true;
}
