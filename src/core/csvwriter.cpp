// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csvwriter.h"

#include <QCoreApplication>
#include <QIODevice>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr double SCALES[CsvWriter::MAX_DECIMALS + 1] = {1e0, 1e1, 1e2, 1e3, 1e4,
                                                        1e5, 1e6, 1e7, 1e8, 1e9};
constexpr uint64_t INT_SCALES[CsvWriter::MAX_DECIMALS + 1] = {
    1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};

constexpr std::size_t CHUNK_CHARS = 64 * 1024;
constexpr std::size_t LINE_MAX_CHARS = 7 * (CsvWriter::NUMBER_MAX_CHARS + 1);

// The file's texts belong to the window that saves it.
QString tr(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

const QChar CsvWriter::SEPARATOR = QLatin1Char(';');
const QString CsvWriter::PROGRAM_NAME = QStringLiteral("Skarvel Monitor");
const QString CsvWriter::DATE_FORMAT = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString CsvWriter::SETTINGS_SECTION = QStringLiteral("[Settings]");
const QString CsvWriter::DATA_SECTION = QStringLiteral("[Data]");
const QString CsvWriter::TRIGGER_SECTION = QStringLiteral("[Trigger]");

QString CsvWriter::dateLabel()
{
    return tr("Date");
}

QString CsvWriter::serialLabel()
{
    return tr("Device SN");
}

QString CsvWriter::firmwareLabel()
{
    return tr("Firmware");
}

QString CsvWriter::sampleRateLabel()
{
    return tr("Sample rate [Hz]");
}

QStringList CsvWriter::columnTitles()
{
    return {tr("Time [s]"), tr("X [g]"),    tr("Y [g]"),   tr("Z [g]"),
            tr("rX [dps]"), tr("rY [dps]"), tr("rZ [dps]")};
}

CsvWriter::CsvWriter(QIODevice* device) : m_out(device), m_lines(CHUNK_CHARS + LINE_MAX_CHARS)
{
    m_out.setEncoding(QStringConverter::Utf8);
    m_out.setGenerateByteOrderMark(true);
}

QString CsvWriter::number(double value, int decimals)
{
    return QString::number(value, 'f', decimals).replace(QLatin1Char('.'), QLatin1Char(','));
}

QString CsvWriter::field(const QString& text)
{
    const bool plain = !text.contains(SEPARATOR) && !text.contains(QLatin1Char('"')) &&
                       !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'));
    if (plain)
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// A data line has seven numbers and a full history a quarter of a million
// lines, so this avoids a QString per field, and the decimals are a constant
// so that the digit split divides by a constant. The result is the exact
// binary value rounded half away from zero, with the sign of any negative
// value but not of a negative zero, as QString::number has it.
template <int DECIMALS> char* putFixed(char* out, double value)
{
    static_assert(DECIMALS >= 1 && DECIMALS <= CsvWriter::MAX_DECIMALS);
    constexpr double scale = SCALES[DECIMALS];
    constexpr uint64_t intScale = INT_SCALES[DECIMALS];
    const double scaled = value * scale;
    constexpr double EXACT_INTEGER_LIMIT = 4503599627370496.0; // 2^52
    if (!(std::fabs(scaled) < EXACT_INTEGER_LIMIT)) {          // also NaN and infinity
        const QByteArray text = CsvWriter::number(value, DECIMALS).toLatin1();
        std::memcpy(out, text.constData(), std::size_t(text.size()));
        return out + text.size();
    }
    // scaled is value * scale rounded; the residual tells which side of a
    // half-way point the exact product lies when the rounding landed on one.
    const double residual = std::fma(value, scale, -scaled);
    double rounded = std::round(scaled);
    if (std::fabs(scaled - std::trunc(scaled)) == 0.5 && residual != 0.0 &&
        (residual < 0.0) != (scaled < 0.0))
        rounded = std::trunc(scaled);

    if (value < 0.0)
        *out++ = '-';
    const auto magnitude = static_cast<uint64_t>(std::fabs(rounded));
    uint64_t integer = magnitude / intScale;
    uint64_t fraction = magnitude % intScale;
    char digits[20];
    int count = 0;
    do {
        digits[count++] = char('0' + integer % 10);
        integer /= 10;
    } while (integer != 0);
    while (count > 0)
        *out++ = digits[--count];
    *out++ = ',';
    for (int i = DECIMALS - 1; i >= 0; --i) {
        out[i] = char('0' + fraction % 10);
        fraction /= 10;
    }
    return out + DECIMALS;
}

} // namespace

char* CsvWriter::putNumber(char* out, double value, int decimals)
{
    using Put = char* (*)(char*, double);
    static constexpr Put PUT[MAX_DECIMALS] = {putFixed<1>, putFixed<2>, putFixed<3>,
                                              putFixed<4>, putFixed<5>, putFixed<6>,
                                              putFixed<7>, putFixed<8>, putFixed<9>};
    return PUT[decimals - 1](out, value);
}

void CsvWriter::writeLine(const QStringList& fields)
{
    flushLines();
    bool first = true;
    for (const QString& text : fields) {
        if (!first)
            m_out << SEPARATOR;
        m_out << field(text);
        first = false;
    }
    m_out << '\n';
}

void CsvWriter::writeHeader(const SHeader& header)
{
    flushLines();
    writeLine({PROGRAM_NAME, QStringLiteral(SKARVEL_VERSION)});
    writeLine({dateLabel(), header.date.toString(DATE_FORMAT)});
    writeLine({serialLabel(), header.serialNumber});
    writeLine({firmwareLabel(),
               QStringLiteral("%1").arg(uint(header.firmware), 4, 16, QLatin1Char('0'))});
    m_out << '\n';
    m_out << SETTINGS_SECTION << '\n';
    for (const auto& setting : header.settings)
        writeLine({setting.first, setting.second});
    writeLine({sampleRateLabel(), number(header.sampleRate, 0)});
    m_out << '\n';
    // Before [Data], so that whoever looks for the table finds it as before.
    if (!header.trigger.isEmpty()) {
        m_out << TRIGGER_SECTION << '\n';
        for (const auto& line : header.trigger)
            writeLine({line.first, line.second});
        m_out << '\n';
    }
    m_out << DATA_SECTION << '\n';
    writeLine(columnTitles());
}

void CsvWriter::writeSample(double time, const float accel[3], const float gyro[3])
{
    const char separator = SEPARATOR.toLatin1();
    char* const begin = m_lines.data();
    char* p = begin + m_used;
    p = putFixed<TIME_DECIMALS>(p, time);
    for (int axis = 0; axis < 3; ++axis) {
        *p++ = separator;
        p = putFixed<ACCEL_DECIMALS>(p, double(accel[axis]));
    }
    for (int axis = 0; axis < 3; ++axis) {
        *p++ = separator;
        p = putFixed<GYRO_DECIMALS>(p, double(gyro[axis]));
    }
    *p++ = '\n';
    m_used = std::size_t(p - begin);
    if (m_used >= CHUNK_CHARS)
        flushLines();
}

void CsvWriter::writeFrames(const std::vector<float>& accel, const std::vector<float>& gyro,
                            uint64_t firstIndex, double sampleRate)
{
    const std::size_t frames = std::min(accel.size(), gyro.size()) / 3;
    for (std::size_t k = 0; k < frames; ++k)
        writeSample(double(firstIndex + k) / sampleRate, &accel[3 * k], &gyro[3 * k]);
}

void CsvWriter::flushLines()
{
    if (m_used == 0)
        return;
    m_out << QLatin1String(m_lines.data(), qsizetype(m_used));
    m_used = 0;
}

bool CsvWriter::flush()
{
    flushLines();
    m_out.flush();
    return m_out.status() == QTextStream::Ok;
}
