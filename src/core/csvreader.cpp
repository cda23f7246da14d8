// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csvreader.h"
#include "skarvelprotocol.h"

#include <QDateTime>
#include <QIODevice>
#include <QStringDecoder>
#include <QStringList>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t READ_CHUNK_BYTES = 256 * 1024;
constexpr qint64 PROGRESS_STEP_BYTES = 4 * 1024 * 1024;
constexpr std::size_t MAX_CHECKPOINTS = 4096;
// The shortest data line the program writes ("0,0000;0,00000;…;0,000" and its end).
constexpr qint64 MIN_DATA_LINE_BYTES = 50;
constexpr int DATA_FIELDS = 7;
// More [Settings] lines than any version writes.
constexpr int MAX_SETTINGS = 32;
// The same for [Trigger] lines.
constexpr int MAX_TRIGGER_LINES = 32;
// Up to 31 years of time; keeps the index arithmetic below far from overflow.
constexpr int MAX_INTEGER_DIGITS = 9;
constexpr uint64_t TIME_TICKS_PER_SECOND = 10000;
constexpr auto RATE = uint64_t(skarvel::SAMPLE_RATE);
// Beyond these a float no longer holds the written decimals, so saving the
// values again would not give the same text. The sensor's full scales are
// 16 g and 2000 dps.
constexpr uint64_t ACCEL_LIMIT_SCALED = 64 * 100000;
constexpr uint64_t GYRO_LIMIT_SCALED = 4096 * 1000;
constexpr uint64_t POW10[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};
const char UTF8_BOM[] = "\xEF\xBB\xBF";

// A piece of offending input, short enough for a message.
QString snippet(QStringView text)
{
    constexpr qsizetype MAX_CHARS = 40;
    if (text.size() <= MAX_CHARS)
        return text.toString();
    return text.left(MAX_CHARS).toString() + QChar(0x2026);
}

QString snippet(const char* begin, const char* end)
{
    return snippet(QString::fromUtf8(begin, std::min<qsizetype>(end - begin, 160)));
}

// [-]digits,decimals with exactly `decimals` digits after the comma, as the
// program writes numbers. `scaled` is the value times 10^decimals.
bool parseFixed(const char* p, const char* end, int decimals, bool& negative, uint64_t& scaled)
{
    negative = p != end && *p == '-';
    if (negative)
        ++p;
    uint64_t value = 0;
    int digits = 0;
    while (p != end && *p >= '0' && *p <= '9') {
        value = value * 10 + uint64_t(*p++ - '0');
        if (++digits > MAX_INTEGER_DIGITS)
            return false;
    }
    if (digits == 0 || p == end || *p++ != ',' || end - p != decimals)
        return false;
    for (; p != end; ++p) {
        if (*p < '0' || *p > '9')
            return false;
        value = value * 10 + uint64_t(*p - '0');
    }
    scaled = value;
    return true;
}

// The text of sample `index`'s time in ticks of 1e-4 s, rounded as the writer
// rounds index / 833 (never a tie: 833 is odd).
uint64_t timeTicks(uint64_t index)
{
    return (index * TIME_TICKS_PER_SECOND * 2 + RATE) / (RATE * 2);
}

// The value written as "-0,00…" is a negative one that rounds to zero; keep
// it negative, so that it is written the same way again.
float fixedValue(bool negative, uint64_t scaled, int decimals)
{
    const double magnitude = double(scaled) / double(POW10[decimals]);
    if (!negative)
        return float(magnitude);
    return float(scaled == 0 ? -0.1 / double(POW10[decimals]) : -magnitude);
}

} // namespace

CsvReader::CsvReader(QIODevice* device, quint64 capacity)
    : m_device(device), m_capacity(capacity), m_buffer(READ_CHUNK_BYTES + MAX_LINE_BYTES + 1)
{}

CsvReader::~CsvReader() = default;

bool CsvReader::fail(const QString& reason, qint64 line)
{
    m_errorLine = line;
    m_error = line > 0 ? tr("Line %1: %2").arg(line).arg(reason) : reason;
    return false;
}

bool CsvReader::reportProgress(const Progress& progress, bool force)
{
    const qint64 done = m_bufferOffset + qint64(m_end);
    if (!progress || (!force && done - m_reported < PROGRESS_STEP_BYTES))
        return true;
    m_reported = done;
    if (progress(done, m_device->isSequential() ? 0 : m_device->size()))
        return true;
    m_cancelled = true;
    return fail(tr("Reading was cancelled."), 0);
}

bool CsvReader::refill()
{
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_bufferOffset += qint64(m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    const qint64 n = m_device->read(m_buffer.data() + m_end, qint64(m_buffer.size() - m_end));
    if (n < 0)
        return fail(tr("Reading failed: %1").arg(m_device->errorString()), 0);
    if (n == 0)
        m_atEnd = true;
    m_end += std::size_t(n);
    return true;
}

void CsvReader::rewindTo(qint64 offset, qint64 line)
{
    m_bufferOffset = offset;
    m_begin = m_end = 0;
    m_atEnd = false;
    m_cutLineDropped = false;
    m_line = line - 1;
    m_reported = offset;
}

CsvReader::ELine CsvReader::nextLine(const char*& line, std::size_t& length)
{
    for (;;) {
        const char* start = m_buffer.data() + m_begin;
        const std::size_t available = m_end - m_begin;
        const auto* newline = static_cast<const char*>(std::memchr(start, '\n', available));
        if (newline != nullptr) {
            std::size_t n = std::size_t(newline - start);
            m_begin += n + 1;
            ++m_line;
            if (n > MAX_LINE_BYTES) {
                failLine(tr("the line is longer than %1 bytes").arg(MAX_LINE_BYTES));
                return ELine::Failed;
            }
            if (n > 0 && start[n - 1] == '\r') // written in text mode on Windows
                --n;
            line = start;
            length = n;
            return ELine::Line;
        }
        if (available > MAX_LINE_BYTES) {
            fail(tr("the line is longer than %1 bytes").arg(MAX_LINE_BYTES), m_line + 1);
            return ELine::Failed;
        }
        if (m_atEnd) {
            if (available == 0)
                return ELine::End;
            if (m_dataLine > 0) {
                // What a recording killed mid-write leaves; the samples before it are whole.
                m_begin = m_end;
                m_cutLineDropped = true;
                return ELine::End;
            }
            fail(tr("the line is cut off (the file ends without a line end)"), m_line + 1);
            return ELine::Failed;
        }
        if (!refill())
            return ELine::Failed;
    }
}

bool CsvReader::readRecord(QStringList& fields)
{
    const char* line = nullptr;
    std::size_t length = 0;
    QString record;
    bool continued = false;
    do {
        const ELine result = nextLine(line, length);
        if (result == ELine::Failed)
            return false;
        if (result == ELine::End) {
            if (continued)
                return fail(tr("a quoted field is not closed"), m_line);
            return fail(tr("the file ends within the header"), m_line + 1);
        }
        QByteArrayView bytes(line, qsizetype(length));
        if (m_line == 1 && bytes.startsWith(UTF8_BOM))
            bytes = bytes.sliced(3);
        if (bytes.contains('\0'))
            return failLine(tr("not UTF-8 text"));
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder(bytes);
        if (decoder.hasError())
            return failLine(tr("not UTF-8 text"));
        if (continued)
            record += QLatin1Char('\n');
        record += text;
        continued = true;
        if (record.size() > qsizetype(MAX_LINE_BYTES))
            return failLine(tr("the line is longer than %1 bytes").arg(MAX_LINE_BYTES));
        // A quoted field may hold a line break; doubled quotes keep the count even.
    } while (record.count(QLatin1Char('"')) % 2 != 0);

    fields.clear();
    const qsizetype size = record.size();
    qsizetype i = 0;
    for (;;) {
        QString field;
        if (i < size && record.at(i) == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i >= size)
                    return failLine(tr("a quoted field is not closed"));
                if (record.at(i) == QLatin1Char('"')) {
                    if (i + 1 < size && record.at(i + 1) == QLatin1Char('"')) {
                        field += QLatin1Char('"');
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += record.at(i);
            }
            if (i < size && record.at(i) != QLatin1Char(';'))
                return failLine(tr("text follows a quoted field"));
        } else {
            const qsizetype separator = record.indexOf(QLatin1Char(';'), i);
            const qsizetype fieldEnd = separator < 0 ? size : separator;
            field = record.mid(i, fieldEnd - i);
            if (field.contains(QLatin1Char('"')))
                return failLine(tr("a quote inside an unquoted field"));
            i = fieldEnd;
        }
        fields << field;
        if (i >= size)
            return true;
        ++i; // the separator
    }
}

bool CsvReader::expectPair(const QString& label, QString& value)
{
    QStringList fields;
    if (!readRecord(fields))
        return false;
    if (fields.size() != 2 || fields.at(0) != label)
        return failLine(tr("expected \"%1;…\", found \"%2\"")
                            .arg(label, snippet(fields.join(QLatin1Char(';')))));
    value = fields.at(1);
    return true;
}

bool CsvReader::expectLine(const QString& expected)
{
    QStringList fields;
    if (!readRecord(fields))
        return false;
    if (fields.size() != 1 || fields.at(0) != expected)
        return failLine(tr("expected \"%1\", found \"%2\"")
                            .arg(expected, snippet(fields.join(QLatin1Char(';')))));
    return true;
}

bool CsvReader::readHeader()
{
    while (!m_atEnd && m_end < 4) {
        if (!refill())
            return false;
    }
    const QByteArrayView start(m_buffer.data(), qsizetype(m_end));
    if (start.isEmpty() || (m_atEnd && start == QByteArrayView(UTF8_BOM)))
        return fail(tr("The file is empty."), 0);
    if (start.startsWith("\xFF\xFE") || start.startsWith("\xFE\xFF"))
        return fail(tr("The file is UTF-16 text; measurement files are UTF-8."), 0);

    QStringList fields;
    if (!readRecord(fields))
        return false;
    if (fields.size() != 2 || fields.at(0) != CsvWriter::PROGRAM_NAME || fields.at(1).isEmpty())
        return failLine(tr("not a Skarvel Monitor measurement file"));
    m_version = fields.at(1);

    QString date;
    if (!expectPair(CsvWriter::dateLabel(), date))
        return false;
    m_header.date = QDateTime::fromString(date, CsvWriter::DATE_FORMAT);
    if (!m_header.date.isValid() || m_header.date.toString(CsvWriter::DATE_FORMAT) != date)
        return failLine(tr("\"%1\" is not a date and time").arg(snippet(date)));
    if (!expectPair(CsvWriter::serialLabel(), m_header.serialNumber))
        return false;
    QString firmware;
    if (!expectPair(CsvWriter::firmwareLabel(), firmware))
        return false;
    bool hex = firmware.size() == 4;
    for (const QChar c : firmware)
        hex = hex && (c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f')));
    if (!hex)
        return failLine(tr("\"%1\" is not a firmware version").arg(snippet(firmware)));
    m_header.firmware = quint16(firmware.toUInt(nullptr, 16));

    if (!expectLine(QString()) || !expectLine(CsvWriter::SETTINGS_SECTION))
        return false;
    // Label and text of each setting, up to the sample rate; which settings
    // and texts make sense is for the window to judge.
    m_settingsLine = m_line + 1;
    for (;;) {
        if (!readRecord(fields))
            return false;
        if (fields.size() != 2 || fields.at(0).isEmpty())
            return failLine(tr("expected \"label;setting\", found \"%1\"")
                                .arg(snippet(fields.join(CsvWriter::SEPARATOR))));
        if (fields.at(0) == CsvWriter::sampleRateLabel())
            break;
        if (m_header.settings.size() == MAX_SETTINGS)
            return failLine(tr("expected \"%1;…\"").arg(CsvWriter::sampleRateLabel()));
        m_header.settings.append({fields.at(0), fields.at(1)});
    }
    if (fields.at(1) != CsvWriter::number(skarvel::SAMPLE_RATE, 0))
        return failLine(
            tr("the sample rate %1 Hz is not the sensor's 833 Hz").arg(snippet(fields.at(1))));
    m_header.sampleRate = skarvel::SAMPLE_RATE;
    if (!expectLine(QString()))
        return false;
    if (!readRecord(fields))
        return false;
    if (fields.size() == 1 && fields.at(0) == CsvWriter::TRIGGER_SECTION) {
        // A capture's: label and text of each line up to an empty one; what
        // they mean is for the trigger to judge.
        m_triggerLine = m_line + 1;
        for (;;) {
            if (!readRecord(fields))
                return false;
            if (fields.size() == 1 && fields.at(0).isEmpty())
                break;
            if (fields.size() != 2 || fields.at(0).isEmpty())
                return failLine(tr("expected \"label;setting\", found \"%1\"")
                                    .arg(snippet(fields.join(CsvWriter::SEPARATOR))));
            if (m_header.trigger.size() == MAX_TRIGGER_LINES)
                return failLine(tr("expected an empty line after the trigger section"));
            m_header.trigger.append({fields.at(0), fields.at(1)});
        }
        if (m_header.trigger.isEmpty())
            return failLine(tr("the trigger section is empty"));
        if (!readRecord(fields))
            return false;
    }
    if (fields.size() != 1 || fields.at(0) != CsvWriter::DATA_SECTION)
        return failLine(tr("expected \"%1\", found \"%2\"")
                            .arg(CsvWriter::DATA_SECTION, snippet(fields.join(QLatin1Char(';')))));

    if (!readRecord(fields))
        return false;
    const QStringList columns = CsvWriter::columnTitles();
    if (fields != columns)
        return failLine(
            tr("expected the column names \"%1\"").arg(columns.join(CsvWriter::SEPARATOR)));
    m_dataLine = m_line + 1;
    m_dataOffset = m_bufferOffset + qint64(m_begin);
    return true;
}

bool CsvReader::parseDataLine(const char* line, std::size_t length, quint64 index, bool keep)
{
    const char* const end = line + length;
    const char* fieldBegin[DATA_FIELDS];
    const char* fieldEnd[DATA_FIELDS];
    int count = 0;
    for (const char* p = line;;) {
        const auto* separator = static_cast<const char*>(std::memchr(p, ';', std::size_t(end - p)));
        const char* stop = separator != nullptr ? separator : end;
        if (count == DATA_FIELDS)
            return failLine(tr("more than %1 fields").arg(DATA_FIELDS));
        fieldBegin[count] = p;
        fieldEnd[count] = stop;
        ++count;
        if (separator == nullptr)
            break;
        p = separator + 1;
    }
    if (count < DATA_FIELDS)
        return failLine(tr("%1 fields instead of %2").arg(count).arg(DATA_FIELDS));

    float values[DATA_FIELDS - 1];
    for (int field = 0; field < DATA_FIELDS; ++field) {
        const int decimals = field == 0   ? CsvWriter::TIME_DECIMALS
                             : field <= 3 ? CsvWriter::ACCEL_DECIMALS
                                          : CsvWriter::GYRO_DECIMALS;
        bool negative = false;
        uint64_t scaled = 0;
        if (!parseFixed(fieldBegin[field], fieldEnd[field], decimals, negative, scaled) ||
            (field == 0 && negative))
            return failLine(tr("%1 is not a number with %2 decimals: \"%3\"")
                                .arg(CsvWriter::columnTitles().at(field))
                                .arg(decimals)
                                .arg(snippet(fieldBegin[field], fieldEnd[field])));
        if (field == 0) {
            if (index == 0) {
                // The first sample's index follows from its time: the text is
                // off by at most 0.00005 s, far less than half a sample.
                m_firstIndex = (scaled * RATE + TIME_TICKS_PER_SECOND / 2) / TIME_TICKS_PER_SECOND;
                if (timeTicks(m_firstIndex) != scaled)
                    return failLine(tr("the time %1 s is not a sample time at 833 samples per "
                                       "second")
                                        .arg(snippet(fieldBegin[0], fieldEnd[0])));
            } else if (timeTicks(m_firstIndex + index) != scaled) {
                const uint64_t expected = timeTicks(m_firstIndex + index);
                return failLine(
                    tr("the time %1 s does not follow the previous sample's (%2,%3 s)")
                        .arg(snippet(fieldBegin[0], fieldEnd[0]))
                        .arg(expected / TIME_TICKS_PER_SECOND)
                        .arg(expected % TIME_TICKS_PER_SECOND, 4, 10, QLatin1Char('0')));
            }
            continue;
        }
        const uint64_t limit = field <= 3 ? ACCEL_LIMIT_SCALED : GYRO_LIMIT_SCALED;
        if (scaled > limit)
            return failLine(tr("%1 is out of range: %2")
                                .arg(CsvWriter::columnTitles().at(field))
                                .arg(snippet(fieldBegin[field], fieldEnd[field])));
        values[field - 1] = fixedValue(negative, scaled, decimals);
    }
    if (keep) {
        m_accel.insert(m_accel.end(), values, values + 3);
        m_gyro.insert(m_gyro.end(), values + 3, values + 6);
    }
    return true;
}

void CsvReader::addCheckpoint(quint64 sample, qint64 offset)
{
    if (sample % m_checkpointStride != 0)
        return;
    if (m_checkpoints.size() == MAX_CHECKPOINTS) {
        // Thin out to every second one, so that a file of any length needs as many.
        m_checkpointStride *= 2;
        std::size_t kept = 0;
        for (const SCheckpoint& checkpoint : m_checkpoints) {
            if (checkpoint.sample % m_checkpointStride == 0)
                m_checkpoints[kept++] = checkpoint;
        }
        m_checkpoints.resize(kept);
        if (sample % m_checkpointStride != 0)
            return;
    }
    m_checkpoints.push_back({sample, offset});
}

bool CsvReader::readSamples(quint64 index, quint64 skip, quint64 keep, bool toEnd,
                            const Progress& progress)
{
    m_accel.clear();
    m_gyro.clear();
    // Reserve for what the device can hold at most, never more than is kept.
    if (!m_device->isSequential()) {
        const qint64 remaining = std::max<qint64>(0, m_device->size() - m_bufferOffset);
        const quint64 fit = quint64(remaining / MIN_DATA_LINE_BYTES + 1);
        m_accel.reserve(std::size_t(3 * std::min(keep, fit)));
        m_gyro.reserve(m_accel.capacity());
    }
    quint64 kept = 0;
    for (;;) {
        if (!reportProgress(progress, false))
            return false;
        const qint64 lineOffset = m_bufferOffset + qint64(m_begin);
        const char* line = nullptr;
        std::size_t length = 0;
        const ELine result = nextLine(line, length);
        if (result == ELine::Failed)
            return false;
        if (result == ELine::End)
            break;
        if (length == 0) {
            // Editors and scripts leave empty lines after the last sample;
            // one with anything after it stands where a sample belongs.
            const qint64 emptyLine = m_line;
            ELine next = ELine::Line;
            while (next == ELine::Line && length == 0)
                next = nextLine(line, length);
            if (next == ELine::Failed)
                return false;
            if (next == ELine::Line || m_cutLineDropped)
                return fail(tr("an empty line where a sample belongs"), emptyLine);
            break;
        }
        if (skip > 0) { // lines a scan has checked already
            --skip;
            ++index;
            continue;
        }
        if (toEnd)
            addCheckpoint(index, lineOffset);
        const bool store = kept < keep;
        if (!parseDataLine(line, length, index, store))
            return false;
        ++index;
        if (store && ++kept == keep && !toEnd)
            break;
    }
    if (toEnd)
        m_sampleCount = index;
    return reportProgress(progress, true);
}

bool CsvReader::scan(const Progress& progress)
{
    m_cancelled = false;
    m_error.clear();
    m_errorLine = 0;
    m_checkpoints.clear();
    m_checkpointStride = 4096;
    m_sampleCount = 0;
    m_header = CsvWriter::SHeader();
    m_version.clear();
    m_settingsLine = 0;
    m_triggerLine = 0;
    if (!m_device->isSequential() && !m_device->seek(0))
        return fail(tr("Reading failed: %1").arg(m_device->errorString()), 0);
    rewindTo(0, 1);
    if (!readHeader())
        return false;
    m_loadedStart = 0;
    return readSamples(0, 0, m_capacity, true, progress);
}

bool CsvReader::load(quint64 start, const Progress& progress)
{
    m_cancelled = false;
    start = std::min(start, m_sampleCount - std::min(m_sampleCount, m_capacity));
    SCheckpoint from{0, m_dataOffset};
    for (const SCheckpoint& checkpoint : m_checkpoints) {
        if (checkpoint.sample > start)
            break;
        from = checkpoint;
    }
    if (!m_device->seek(from.offset))
        return fail(tr("Reading failed: %1").arg(m_device->errorString()), 0);
    rewindTo(from.offset, m_dataLine + qint64(from.sample));
    m_loadedStart = start;
    return readSamples(from.sample, start - from.sample, m_capacity, false, progress);
}
