// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Writes a measurement in the program's CSV format to any QIODevice: UTF-8
// with a byte-order mark, ";" between fields, decimal comma, a header with
// the "[Settings]" and "[Data]" sections (a capture's "[Trigger]" section
// between them), then one line per sample. The
// header is written once; sample lines can follow in as many batches as the
// caller likes (a whole history, or a recording as it arrives). The number
// format and the separator are public for other tables in the same format.
//
// Owns its text stream and line buffer; one thread at a time, the caller's.
// The device must be open for writing and stay open while the writer lives.
#pragma once

#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <cstddef>
#include <cstdint>
#include <vector>

class QIODevice;

class CsvWriter
{
public:
    static const QChar SEPARATOR;
    // Decimals of the data columns.
    static constexpr int TIME_DECIMALS = 4;
    static constexpr int ACCEL_DECIMALS = 5;
    static constexpr int GYRO_DECIMALS = 3;
    static constexpr int MAX_DECIMALS = 9;
    // Longest text putNumber writes for a finite double (sign, 309 digits, comma, decimals).
    static constexpr int NUMBER_MAX_CHARS = 1 + 309 + 1 + MAX_DECIMALS;

    struct SHeader
    {
        QDateTime date;
        QString serialNumber;
        uint16_t firmware = 0;
        // The [Settings] lines before the sample rate: label, value.
        QList<QPair<QString, QString>> settings;
        double sampleRate = 0.0;
        // The [Trigger] section of a capture: label, value. Empty: no section.
        QList<QPair<QString, QString>> trigger;
    };

    // The header's fixed texts and the column titles, as written; the reader
    // checks a file against them.
    static const QString PROGRAM_NAME;
    static const QString DATE_FORMAT;
    static const QString SETTINGS_SECTION;
    static const QString DATA_SECTION;
    static const QString TRIGGER_SECTION;
    static QString dateLabel();
    static QString serialLabel();
    static QString firmwareLabel();
    static QString sampleRateLabel();
    static QStringList columnTitles();

    explicit CsvWriter(QIODevice* device);

    CsvWriter(const CsvWriter&) = delete;
    CsvWriter& operator=(const CsvWriter&) = delete;

    // Everything up to and including the column titles of the [Data] section.
    void writeHeader(const SHeader& header);
    // One data line: time in s, acceleration X, Y, Z in g, angular rate X, Y, Z in dps.
    void writeSample(double time, const float accel[3], const float gyro[3]);
    // One line per frame of X, Y, Z; frame k's time is (firstIndex + k) / sampleRate.
    // The shorter vector decides the number of lines.
    void writeFrames(const std::vector<float>& accel, const std::vector<float>& gyro,
                     uint64_t firstIndex, double sampleRate);
    // One line of text fields (each through field()), for other tables in
    // the same format; after any buffered data lines.
    void writeLine(const QStringList& fields);
    // Hands buffered lines to the device. False once anything failed to be written.
    bool flush();

    // Fixed notation, decimal comma, no group separators: what spreadsheets set
    // to a decimal-comma locale read as numbers.
    static QString number(double value, int decimals);
    // Writes the same characters as number(value, decimals) at `out` (room for
    // NUMBER_MAX_CHARS) and returns the end; 1 <= decimals <= MAX_DECIMALS.
    static char* putNumber(char* out, double value, int decimals);
    // A field that holds the separator, a quote or a line break is quoted
    // (inner quotes doubled), so that it stays one field.
    static QString field(const QString& text);

private:
    void flushLines();

    QTextStream m_out;
    std::vector<char> m_lines; // data lines in Latin-1, handed to the stream in chunks
    std::size_t m_used = 0;
};
