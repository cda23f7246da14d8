// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Reads a measurement file as the program writes it (Save CSV, a recording or
// a trigger's capture): the header with the sensor's identity and settings (and
// a capture's [Trigger] section), then one line per sample.
//
// Streaming with bounded memory whatever the input: lines are read through a
// fixed buffer and at most `capacity` samples are kept. scan() validates the
// whole file and keeps its first samples; load() keeps another stretch of an
// already scanned file. A last sample line without its line end, as a recording
// killed mid-write leaves, is not a sample; empty lines after the last sample
// are let be. Every failure names the line and the
// reason; nothing the reader keeps is meant to be used after a failure.
#pragma once

#include "csvwriter.h"

#include <QCoreApplication>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class QIODevice;

class CsvReader
{
    Q_DECLARE_TR_FUNCTIONS(CsvReader)

public:
    // Called now and then with the bytes read so far and the device's size
    // (0 when unknown); returning false cancels the read.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    // The longest line accepted; a data line as written needs well under 100.
    static constexpr std::size_t MAX_LINE_BYTES = 4096;

    // The device must be open for reading and, for load(), seekable.
    CsvReader(QIODevice* device, quint64 capacity);
    ~CsvReader();
    CsvReader(const CsvReader&) = delete;
    CsvReader& operator=(const CsvReader&) = delete;

    // Reads the header and every sample line from the device's start, keeping
    // the first `capacity` samples.
    bool scan(const Progress& progress = {});
    // After a successful scan: keeps up to `capacity` samples from the file's
    // sample `start` on (clamped so that the stretch is as long as it can be).
    bool load(quint64 start, const Progress& progress = {});

    // What the file's header says, as the writer takes it: saving the samples
    // with it again gives the same file.
    const CsvWriter::SHeader& header() const { return m_header; }
    QString version() const { return m_version; }
    // Line of the first [Settings] line; the others follow it.
    qint64 settingsLine() const { return m_settingsLine; }
    // Line of the first [Trigger] line; 0 for a file without that section.
    qint64 triggerLine() const { return m_triggerLine; }
    // Samples in the file.
    quint64 sampleCount() const { return m_sampleCount; }
    // The first sample's index since the measurement's start, as its time tells.
    quint64 firstSampleIndex() const { return m_firstIndex; }
    // Kept samples: the file's samples [loadedStart(), loadedStart() + loadedCount()),
    // as frames of X, Y, Z in g and rX, rY, rZ in dps.
    quint64 loadedStart() const { return m_loadedStart; }
    quint64 loadedCount() const { return m_accel.size() / 3; }
    const std::vector<float>& accelFrames() const { return m_accel; }
    const std::vector<float>& gyroFrames() const { return m_gyro; }

    bool cancelled() const { return m_cancelled; }
    // "Line n: reason", or a reason about the whole file.
    QString errorString() const { return m_error; }
    // Line of the failure; 0 when it concerns no single line.
    qint64 errorLine() const { return m_errorLine; }

private:
    enum class ELine
    {
        Line,
        End,
        Failed
    };
    struct SCheckpoint
    {
        quint64 sample; // file-relative index of the sample on this line
        qint64 offset;  // byte offset of the line's start
    };

    bool readHeader();
    bool readRecord(QStringList& fields);
    bool expectPair(const QString& label, QString& value);
    bool expectLine(const QString& expected);
    bool parseDataLine(const char* line, std::size_t length, quint64 expectedIndex, bool keep);
    bool readSamples(quint64 index, quint64 skip, quint64 keep, bool toEnd,
                     const Progress& progress);
    ELine nextLine(const char*& line, std::size_t& length);
    bool refill();
    void rewindTo(qint64 offset, qint64 line);
    void addCheckpoint(quint64 sample, qint64 offset);
    bool reportProgress(const Progress& progress, bool force);
    bool fail(const QString& reason, qint64 line);
    bool failLine(const QString& reason) { return fail(reason, m_line); }

    QIODevice* m_device;
    quint64 m_capacity;
    CsvWriter::SHeader m_header;
    QString m_version;
    qint64 m_settingsLine = 0;
    qint64 m_triggerLine = 0;

    std::vector<char> m_buffer;
    std::size_t m_begin = 0; // unread bytes are [m_begin, m_end)
    std::size_t m_end = 0;
    qint64 m_bufferOffset = 0; // device offset of m_buffer[0]
    bool m_atEnd = false;
    bool m_cutLineDropped = false; // the end came after a line without its line end
    qint64 m_line = 0;             // number of the last line returned
    qint64 m_reported = 0;

    qint64 m_dataLine = 0;   // line of the first sample
    qint64 m_dataOffset = 0; // its byte offset
    quint64 m_sampleCount = 0;
    quint64 m_firstIndex = 0;
    quint64 m_loadedStart = 0;
    std::vector<float> m_accel;
    std::vector<float> m_gyro;
    std::vector<SCheckpoint> m_checkpoints; // every m_checkpointStride samples, bounded in number
    quint64 m_checkpointStride = 4096;

    bool m_cancelled = false;
    QString m_error;
    qint64 m_errorLine = 0;
};
