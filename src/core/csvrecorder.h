// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Appends a measurement to files while it runs. The GUI thread hands over
// whole lines, already formatted; a writer thread puts them into the file, so
// that a slow disk never holds up an update tick. What has been handed over
// reaches the file within FLUSH_INTERVAL_MS and the disk within
// SYNC_INTERVAL_MS more, and a file only ever ends in a whole line, also
// after a failed write.
//
// The queue is bounded: a disk slower than the samples for long ends the
// recording with an error rather than dropping lines unnoticed.
#pragma once

#include "csvwriter.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class QBuffer;
class QFile;

class CsvRecorder
{
    Q_DECLARE_TR_FUNCTIONS(CsvRecorder)

public:
    static constexpr int FLUSH_INTERVAL_MS = 250;
    // A file's data is synchronised to the disk at least this often while lines come.
    static constexpr int SYNC_INTERVAL_MS = 1000;
    // About ten minutes of samples at 833 samples/s. With the batch the writer
    // is working on, a recording holds at most twice this in memory.
    static constexpr qsizetype QUEUE_LIMIT_BYTES = 32 * 1024 * 1024;

    CsvRecorder();
    // Writes what is queued and closes the file.
    ~CsvRecorder();
    CsvRecorder(const CsvRecorder&) = delete;
    CsvRecorder& operator=(const CsvRecorder&) = delete;

    // All calls from one thread (the GUI thread).

    // Creates (or empties) the file and queues its header. On failure nothing
    // runs and errorString() says why.
    bool start(const QString& fileName, const QByteArray& header);
    // Queues whole lines holding `samples` samples. False when the recording
    // has failed (hasFailed()); the lines are then not written.
    bool append(const QByteArray& lines, quint64 samples);
    // Ends the current file; the lines after this go to the next numbered file
    // (name_2.csv, name_3.csv, …), which starts with `header`.
    void nextFile(const QByteArray& header);
    // Writes what is queued, closes the file and ends the thread. False when
    // the recording failed at any point.
    bool stop();

    // A measurement's recording, formatted by CsvWriter. A file gets its
    // header with its first samples (or when the recording stops without
    // any), so that the header tells the settings its samples were measured with.
    bool start(const QString& fileName, const CsvWriter::SHeader& header);
    // The same into a descriptor that is open already (standard output),
    // called `name` in messages: it is neither created, cut to whole lines
    // nor closed, and no numbered file follows it.
    bool start(int descriptor, const QString& name, const CsvWriter::SHeader& header);
    // The header of the samples from now on. A file that has samples already
    // ends here when the header tells other settings, and the samples go on
    // in the next numbered file. So does a batch whose times do not follow.
    void setHeader(const CsvWriter::SHeader& header);
    // One line per frame of X, Y, Z; frame k's time is (firstIndex + k) / sampleRate.
    bool appendFrames(const std::vector<float>& accel, const std::vector<float>& gyro,
                      quint64 firstIndex, double sampleRate);

    bool isRecording() const { return m_thread.joinable(); }
    // A failed recording keeps its message until the next start.
    bool hasFailed() const { return m_failed.load(); }
    // "Recording to <file> stopped: <reason>".
    QString errorString() const;
    // The file being written.
    QString fileName() const;
    // Samples handed over since start().
    quint64 recordedSamples() const { return m_samples; }

    // The name of the `number`th file of a recording whose first file is `first`.
    static QString numberedFileName(const QString& first, int number);

private:
    struct SChunk
    {
        QByteArray bytes;
        bool newFile = false; // bytes is the header of the next file
    };

    void reset(const QString& name);
    bool launch(std::unique_ptr<QFile> file, const QByteArray& header);
    QByteArray takeFormatted();
    void run();
    bool syncFile();
    bool openNext();
    bool writeOut(const QByteArray& bytes);
    void closeFile();
    void setFailure(const QString& file, const QString& reason);

    QString m_firstName;   // GUI thread before the thread starts; then read-only
    bool m_stream = false; // GUI thread before the thread starts; then read-only
    quint64 m_samples = 0; // GUI thread only
    // Formatting, GUI thread only: the current file's header while it is due,
    // and a writer into a buffer that each batch is taken out of.
    CsvWriter::SHeader m_header;
    bool m_headerDue = false;
    quint64 m_fileSamples = 0;
    quint64 m_nextIndex = 0; // of the sample that continues the current file
    std::unique_ptr<QBuffer> m_formatted;
    std::unique_ptr<CsvWriter> m_format;
    std::unique_ptr<QFile> m_file; // writer thread while it runs
    int m_fileNumber = 1;          // writer thread while it runs

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;    // more to write, or stop
    std::deque<SChunk> m_queue;        // guarded by m_mutex
    qsizetype m_queuedBytes = 0;       // guarded by m_mutex
    bool m_stopRequested = false;      // guarded by m_mutex
    QString m_currentName;             // guarded by m_mutex
    QString m_error;                   // guarded by m_mutex
    std::atomic<bool> m_failed{false}; // set with m_error, read without the lock
    std::thread m_thread;
};
