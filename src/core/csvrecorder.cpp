// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csvrecorder.h"

#include "durablefile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <chrono>

#include <unistd.h>

namespace {

// The writer starts early when this much is queued, instead of waiting for its interval.
constexpr qsizetype WAKE_BYTES = 1024 * 1024;
// No line of the program's files comes near this.
constexpr qint64 TAIL_BYTES = 64 * 1024;
// Gives up looking for an unused numbered name after this many.
constexpr int MAX_FILE_NUMBER = 100000;
constexpr QIODevice::OpenMode WRITE_MODE =
    QIODevice::WriteOnly | QIODevice::Text | QIODevice::Unbuffered;

// Cuts a file after its last line end, so that a write that failed half-way
// leaves no partial line behind. Shrinking needs no space on the disk.
void trimToWholeLines(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadWrite))
        return;
    const qint64 size = file.size();
    const qint64 from = std::max<qint64>(0, size - TAIL_BYTES);
    if (!file.seek(from))
        return;
    const QByteArray tail = file.read(size - from);
    const qsizetype lastEnd = tail.lastIndexOf('\n');
    file.resize(lastEnd < 0 ? from : from + lastEnd + 1);
}

} // namespace

CsvRecorder::CsvRecorder() = default;

CsvRecorder::~CsvRecorder()
{
    stop();
}

QString CsvRecorder::numberedFileName(const QString& first, int number)
{
    const QString suffix = QFileInfo(first).suffix();
    if (suffix.isEmpty())
        return QStringLiteral("%1_%2").arg(first).arg(number);
    return QStringLiteral("%1_%2.%3")
        .arg(first.left(first.size() - suffix.size() - 1))
        .arg(number)
        .arg(suffix);
}

QString CsvRecorder::errorString() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_error;
}

QString CsvRecorder::fileName() const
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    return m_currentName;
}

void CsvRecorder::setFailure(const QString& file, const QString& reason)
{
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_failed.load())
        return; // the first failure is the one to tell
    m_error = tr("Recording to %1 failed:\n%2").arg(file, reason);
    m_failed.store(true);
}

bool CsvRecorder::start(const QString& fileName, const CsvWriter::SHeader& header)
{
    if (!start(fileName, QByteArray()))
        return false;
    m_header = header;
    m_headerDue = true;
    return true;
}

void CsvRecorder::setHeader(const CsvWriter::SHeader& header)
{
    if (!isRecording())
        return;
    if (m_fileSamples > 0) {
        if (header.settings == m_header.settings && header.serialNumber == m_header.serialNumber &&
            header.firmware == m_header.firmware)
            return; // nothing changed that the file's header tells
        nextFile(QByteArray());
        m_fileSamples = 0;
    }
    m_header = header;
    m_headerDue = true;
}

QByteArray CsvRecorder::takeFormatted()
{
    m_format->flush();
    QByteArray bytes = m_formatted->data();
    m_formatted->buffer().clear();
    m_formatted->seek(0);
    return bytes;
}

bool CsvRecorder::appendFrames(const std::vector<float>& accel, const std::vector<float>& gyro,
                               quint64 firstIndex, double sampleRate)
{
    const quint64 frames = std::min(accel.size(), gyro.size()) / 3;
    if (!isRecording() || frames == 0)
        return isRecording() && !m_failed.load();
    if (m_fileSamples > 0 && firstIndex != m_nextIndex) {
        // The times start again (the history was cleared): a file's times
        // only ever go on, so a new file takes the rest.
        nextFile(QByteArray());
        m_fileSamples = 0;
        m_headerDue = true;
    }
    m_nextIndex = firstIndex + frames;
    if (m_headerDue) {
        // A new writer for a new file: its text stream starts with the byte-order mark.
        m_format.reset();
        m_formatted = std::make_unique<QBuffer>();
        m_formatted->open(QIODevice::WriteOnly);
        m_format = std::make_unique<CsvWriter>(m_formatted.get());
        m_format->writeHeader(m_header);
        m_headerDue = false;
    }
    m_format->writeFrames(accel, gyro, firstIndex, sampleRate);
    m_fileSamples += frames;
    return append(takeFormatted(), frames);
}

void CsvRecorder::reset(const QString& name)
{
    m_headerDue = false;
    m_fileSamples = 0;
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.clear();
        m_queuedBytes = 0;
        m_stopRequested = false;
        m_currentName = name;
        m_error.clear();
        m_failed.store(false);
    }
    m_firstName = name;
    m_fileNumber = 1;
    m_samples = 0;
}

bool CsvRecorder::launch(std::unique_ptr<QFile> file, const QByteArray& header)
{
    m_file = std::move(file);
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back({header, false});
        m_queuedBytes = header.size();
    }
    m_thread = std::thread(&CsvRecorder::run, this);
    return true;
}

bool CsvRecorder::start(const QString& fileName, const QByteArray& header)
{
    if (isRecording())
        return false;
    reset(fileName);
    m_stream = false;
    auto file = std::make_unique<QFile>(fileName);
    if (!file->open(WRITE_MODE | QIODevice::Truncate)) {
        setFailure(fileName, file->errorString());
        return false;
    }
    return launch(std::move(file), header);
}

bool CsvRecorder::start(int descriptor, const QString& name, const CsvWriter::SHeader& header)
{
    if (isRecording())
        return false;
    reset(name);
    m_stream = true;
    auto file = std::make_unique<QFile>();
    if (!file->open(descriptor, WRITE_MODE, QFileDevice::DontCloseHandle)) {
        setFailure(name, file->errorString());
        return false;
    }
    launch(std::move(file), QByteArray());
    m_header = header;
    m_headerDue = true;
    return true;
}

bool CsvRecorder::append(const QByteArray& lines, quint64 samples)
{
    if (!isRecording() || m_failed.load())
        return false;
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_queuedBytes + lines.size() > QUEUE_LIMIT_BYTES) {
            // What is queued is still written, so that the file ends where the loss begins.
            if (!m_failed.load()) {
                m_error = tr("Recording to %1 failed:\n%2")
                              .arg(m_currentName,
                                   tr("The disk does not keep up with the sensor's data."));
                m_failed.store(true);
            }
            m_stopRequested = true;
            wake = true;
        } else {
            m_queue.push_back({lines, false});
            m_queuedBytes += lines.size();
            m_samples += samples;
            wake = m_queuedBytes >= WAKE_BYTES;
        }
    }
    if (wake)
        m_wake.notify_one();
    return !m_failed.load();
}

void CsvRecorder::nextFile(const QByteArray& header)
{
    if (!isRecording())
        return;
    const std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.push_back({header, true});
    m_queuedBytes += header.size();
}

bool CsvRecorder::stop()
{
    if (m_thread.joinable() && m_headerDue) {
        // A file without samples still says what it would have held.
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        CsvWriter writer(&buffer);
        writer.writeHeader(m_header);
        writer.flush();
        append(buffer.data(), 0);
        m_headerDue = false;
    }
    if (m_thread.joinable()) {
        {
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_stopRequested = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    return !m_failed.load();
}

bool CsvRecorder::writeOut(const QByteArray& bytes)
{
    // A short write sets no error; the next attempt tells why the disk refuses.
    qint64 done = 0;
    while (done < bytes.size()) {
        const qint64 n = m_file->write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            break;
        done += n;
    }
    if (done == bytes.size())
        return true;
    const QString name = fileName();
    setFailure(name, m_file->error() != QFileDevice::NoError
                         ? m_file->errorString()
                         : tr("The data could not be written."));
    closeFile();
    if (!m_stream)
        trimToWholeLines(name);
    return false;
}

bool CsvRecorder::syncFile()
{
    // Only files keep data; a pipe or terminal has nothing to synchronise.
    if (!m_file || ::fdatasync(m_file->handle()) == 0 || errno == EINVAL)
        return true;
    setFailure(fileName(), qt_error_string(errno));
    closeFile();
    return false;
}

void CsvRecorder::closeFile()
{
    if (m_file) {
        m_file->close();
        m_file.reset();
    }
}

bool CsvRecorder::openNext()
{
    if (m_stream) {
        setFailure(m_firstName, tr("A recording to a stream cannot go on in another file."));
        return false;
    }
    if (!syncFile())
        return false;
    closeFile();
    // Never overwrite a file that is there already, say from an earlier recording.
    while (++m_fileNumber <= MAX_FILE_NUMBER) {
        const QString name = numberedFileName(m_firstName, m_fileNumber);
        auto file = std::make_unique<QFile>(name);
        if (file->open(WRITE_MODE | QIODevice::NewOnly)) {
            DurableFile::syncDirectory(QFileInfo(name).absolutePath());
            m_file = std::move(file);
            const std::lock_guard<std::mutex> lock(m_mutex);
            m_currentName = name;
            return true;
        }
        if (!file->exists()) {
            setFailure(name, file->errorString());
            return false;
        }
    }
    setFailure(m_firstName, tr("No free file name is left."));
    return false;
}

void CsvRecorder::run()
{
    QByteArray pending;
    std::deque<SChunk> chunks;
    bool broken = false;
    if (!m_stream)
        DurableFile::syncDirectory(QFileInfo(m_firstName).absolutePath());
    // Written since the last synchronisation, and when that was.
    bool unsynced = false;
    auto synced = std::chrono::steady_clock::now();
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!broken) {
        m_wake.wait_for(lock, std::chrono::milliseconds(FLUSH_INTERVAL_MS),
                        [this] { return m_stopRequested || m_queuedBytes >= WAKE_BYTES; });
        chunks.swap(m_queue);
        m_queuedBytes = 0;
        const bool stopping = m_stopRequested;
        lock.unlock();

        // One write per file and round, each ending in a line end.
        pending.resize(0);
        for (SChunk& chunk : chunks) {
            if (chunk.newFile) {
                if (!pending.isEmpty() && !writeOut(pending)) {
                    broken = true;
                    break;
                }
                pending.resize(0);
                if (!openNext()) {
                    broken = true;
                    break;
                }
            }
            pending += chunk.bytes;
        }
        chunks.clear();
        if (!broken && !pending.isEmpty()) {
            broken = !writeOut(pending);
            unsynced = true;
        }
        const auto now = std::chrono::steady_clock::now();
        if (!broken && unsynced &&
            (stopping || now - synced >= std::chrono::milliseconds(SYNC_INTERVAL_MS))) {
            broken = !syncFile();
            unsynced = false;
            synced = now;
        }

        lock.lock();
        if (stopping)
            break;
    }
    lock.unlock();
    closeFile();
}
