// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "headlessrecorder.h"

#include "deviceaccess.h"
#include "sensorsettingstexts.h"
#include "skarvelprotocol.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>

#include <unistd.h>

#include <map>
#include <string>

namespace {

// Interface 0 of every attached sensor by serial number; the last one listed
// wins, as CSkarvel::Connect chooses.
std::map<std::wstring, SHidDeviceInfo> attachedSensors()
{
    std::vector<SHidDeviceInfo> devices;
    CSimpleHidClass::EnumerateDevices(devices, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID);
    std::map<std::wstring, SHidDeviceInfo> sensors;
    for (const SHidDeviceInfo& info : devices) {
        if (info.interfaceNumber == 0)
            sensors[info.serialNumber] = info;
    }
    return sensors;
}

QString serialList(const std::map<std::wstring, SHidDeviceInfo>& sensors)
{
    QStringList serials;
    for (const auto& sensor : sensors)
        serials.append(QString::fromStdWString(sensor.first));
    return serials.join(QStringLiteral(", "));
}

void printMessage(std::FILE* messages, const QString& text)
{
    std::fprintf(messages, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                 text.toLocal8Bit().constData());
    std::fflush(messages);
}

// The device dialog's guidance, and what a machine without a desktop session needs.
QString accessGuidance(const std::string& path)
{
    return DeviceAccess::guidance(path) + QLatin1Char('\n') +
           HeadlessRecorder::tr("Without a desktop session (a test rig, a service), add the user "
                                "to the plugdev group:\nsudo adduser USER plugdev, then log in "
                                "again.");
}

} // namespace

HeadlessRecorder::HeadlessRecorder(const RecordOptions& options, std::FILE* messages)
    : m_options(options), m_messages(messages), m_statusLine(::isatty(::fileno(messages)) == 1)
{
    m_tick.setInterval(MeasurementSession::UPDATE_INTERVAL_MS);
    m_statusTimer.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &HeadlessRecorder::onTick);
    connect(&m_statusTimer, &QTimer::timeout, this, &HeadlessRecorder::showStatus);
    connect(&m_session, &MeasurementSession::samplesStored, this,
            &HeadlessRecorder::onSamplesStored);
}

HeadlessRecorder::~HeadlessRecorder()
{
    // The read thread calls into the session and the sequence: it ends first.
    m_sensor.StopSensorThread();
}

int HeadlessRecorder::list(std::FILE* out, std::FILE* messages)
{
    const std::map<std::wstring, SHidDeviceInfo> sensors = attachedSensors();
    if (sensors.empty()) {
        printMessage(messages, tr("No Skarvel sensor is attached."));
        return recordstatus::NO_SENSOR;
    }
    QStringList guidance;
    for (const auto& sensor : sensors) {
        const SHidDeviceInfo& info = sensor.second;
        const bool permitted = DeviceAccess::canReadWrite(info.path);
        std::fprintf(out, "%s\t%04x\t%s\t%s\n",
                     QString::fromStdWString(info.serialNumber).toLocal8Bit().constData(),
                     unsigned(info.releaseNumber), info.path.c_str(),
                     permitted ? "ok" : "no access");
        if (!permitted)
            guidance.append(accessGuidance(info.path));
    }
    std::fflush(out);
    for (const QString& text : guidance)
        printMessage(messages, text);
    return recordstatus::OK;
}

void HeadlessRecorder::message(const QString& text) const
{
    if (m_statusLine)
        std::fputs("\r\x1b[K", m_messages);
    printMessage(m_messages, text);
}

int HeadlessRecorder::exec()
{
    const int failed = start();
    if (failed >= 0)
        return failed;
    QEventLoop loop;
    m_loop = &loop;
    if (m_status < 0)
        loop.exec();
    return m_status;
}

void HeadlessRecorder::stop()
{
    if (m_status < 0 && m_tick.isActive())
        finish(recordstatus::OK);
}

int HeadlessRecorder::start()
{
    const std::map<std::wstring, SHidDeviceInfo> sensors = attachedSensors();
    if (sensors.empty()) {
        message(tr("No Skarvel sensor is attached."));
        return recordstatus::NO_SENSOR;
    }
    std::wstring serial;
    if (m_options.serialNumber()) {
        serial = *m_options.serialNumber();
        if (sensors.count(serial) == 0) {
            message(tr("No Skarvel sensor with the serial number %1 is attached; attached: %2.")
                        .arg(QString::fromStdWString(serial), serialList(sensors)));
            return recordstatus::NO_SENSOR;
        }
    } else if (sensors.size() > 1) {
        message(tr("%1 sensors are attached (%2): choose one with --serial.")
                    .arg(sensors.size())
                    .arg(serialList(sensors)));
        return recordstatus::BAD_OPTIONS;
    } else {
        serial = sensors.begin()->first;
    }
    const QString shownSerial = QString::fromStdWString(serial);
    const std::string& path = sensors.at(serial).path;
    if (!DeviceAccess::canReadWrite(path)) {
        message(accessGuidance(path));
        return recordstatus::NO_SENSOR;
    }
    if (!m_sensor.Connect(serial)) {
        message(tr("Connecting to the sensor %1 failed: %2")
                    .arg(shownSerial, QString::fromStdString(m_sensor.GetLastError())));
        return recordstatus::NO_SENSOR;
    }

    // A connect leaves the sensor in the all-zero configuration, as the window
    // finds it; only other settings take a command.
    const SSkarvelParams wanted = m_options.params();
    const SSkarvelParams& current = m_sensor.GetParams();
    const bool same =
        wanted.accelRange == current.accelRange && wanted.accelFilter == current.accelFilter &&
        wanted.gyroRange == current.gyroRange && wanted.gyroHighPass == current.gyroHighPass;
    if (!same && !m_sensor.SetParams(wanted)) {
        message(tr("Setting the parameters of the sensor %1 failed: %2")
                    .arg(shownSerial, QString::fromStdString(m_sensor.GetLastError())));
        return recordstatus::SENSOR_LOST;
    }

    const CsvWriter::SHeader header = SensorSettingsTexts::fileHeader(
        QDateTime::currentDateTime(), QString::fromStdWString(m_sensor.GetSerialNumber()),
        m_sensor.GetFirmware(), m_sensor.GetParams());
    const bool toStdout = m_options.fileName() == RecordOptions::STANDARD_OUTPUT;
    if (!(toStdout ? m_recorder.start(STDOUT_FILENO, tr("standard output"), header)
                   : m_recorder.start(m_options.fileName(), header))) {
        message(m_recorder.errorString());
        return recordstatus::WRITE_FAILED;
    }

    // As the window's Start: the settling samples after this are dropped.
    m_session.begin(m_sensor.GetParams());
    const bool streaming = m_sensor.StartSensorThread([this](const SSkarvelSample& sample) {
        m_sequence.note(sample.extraByte);
        m_session.addSample(sample);
    });
    if (!streaming) {
        m_recorder.stop();
        message(tr("Starting the measurement on the sensor %1 failed: %2")
                    .arg(shownSerial, QString::fromStdString(m_sensor.GetLastError())));
        return recordstatus::SENSOR_LOST;
    }
    m_clock.start();
    m_tick.start();
    if (m_statusLine) {
        showStatus();
        m_statusTimer.start();
    }
    return -1;
}

quint64 HeadlessRecorder::room() const
{
    if (!m_options.sampleLimit())
        return MeasurementSession::UNLIMITED;
    const quint64 limit = *m_options.sampleLimit();
    return limit > m_recorded ? limit - m_recorded : 0;
}

void HeadlessRecorder::onSamplesStored(const std::vector<float>& accel,
                                       const std::vector<float>& gyro)
{
    // The file's times count from the first recorded sample, as the window's
    // recording of a measurement it started with.
    m_recorder.appendFrames(accel, gyro, m_recorded, skarvel::SAMPLE_RATE);
    m_recorded += std::min(accel.size(), gyro.size()) / 3;
}

void HeadlessRecorder::onTick()
{
    if (m_recorder.hasFailed()) {
        finish(recordstatus::WRITE_FAILED);
        return;
    }
    const quint64 taken = m_session.appendPendingSamples(room());
    if (room() == 0) {
        finish(recordstatus::OK);
        return;
    }
    if (m_session.tick(taken) == MeasurementSession::ETick::ConnectionLost)
        finish(recordstatus::SENSOR_LOST);
}

void HeadlessRecorder::finish(int status)
{
    if (m_status >= 0)
        return;
    m_tick.stop();
    m_statusTimer.stop();
    m_sensor.StopSensorThread(); // no sample arrives after this
    if (status == recordstatus::OK)
        m_session.appendPendingSamples(room());
    const bool written = m_recorder.stop();
    if (m_statusLine) {
        showStatus();
        std::fputc('\n', m_messages);
    }
    const QString file = m_options.fileName() == RecordOptions::STANDARD_OUTPUT
                             ? tr("standard output")
                             : m_options.fileName();
    if (!written) {
        message(m_recorder.errorString());
        status = recordstatus::WRITE_FAILED;
    } else if (status == recordstatus::SENSOR_LOST) {
        message(tr("The sensor %1 went silent (unplugged?): no sample for a second. "
                   "%2 samples were recorded to %3.")
                    .arg(QString::fromStdWString(m_sensor.GetSerialNumber()))
                    .arg(m_recorded)
                    .arg(file));
    }
    m_sensor.Disconnect();
    m_status = status;
    if (m_loop)
        m_loop->quit();
}

void HeadlessRecorder::showStatus()
{
    const qint64 seconds = m_clock.isValid() ? m_clock.elapsed() / 1000 : 0;
    QString text = tr("%1:%2:%3  %4 samples")
                       .arg(seconds / 3600)
                       .arg((seconds / 60) % 60, 2, 10, QLatin1Char('0'))
                       .arg(seconds % 60, 2, 10, QLatin1Char('0'))
                       .arg(m_recorded);
    if (m_options.fileName() != RecordOptions::STANDARD_OUTPUT)
        text += QStringLiteral("  ") +
                QLocale::c().formattedDataSize(QFileInfo(m_recorder.fileName()).size(), 1,
                                               QLocale::DataSizeSIFormat);
    if (const quint64 lost = m_sequence.lost())
        text += tr("  %1 lost in the host buffer").arg(lost);
    std::fprintf(m_messages, "\r%s\x1b[K", text.toLocal8Bit().constData());
    std::fflush(m_messages);
}
