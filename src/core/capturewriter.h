// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Writes each capture of the trigger as its own file in a folder:
// capture_0001.csv, capture_0002.csv, … in the measurement file format with
// the [Trigger] section, never over a file that is there already. A file is
// on the disk itself when write() returns true; a failed one is removed.
// One thread at a time.
#pragma once

#include "csvwriter.h"
#include "trigger.h"

#include <QCoreApplication>
#include <QString>

class CaptureWriter
{
    Q_DECLARE_TR_FUNCTIONS(CaptureWriter)

public:
    explicit CaptureWriter(const QString& folder = QString()) : m_folder(folder) {}

    QString folder() const { return m_folder; }
    // The next file gets the lowest free number from 1 on again.
    void setFolder(const QString& folder);

    // The header with the capture's [Trigger] section; its settings and
    // identity as the caller gives them.
    static CsvWriter::SHeader header(CsvWriter::SHeader header, const Trigger::SCapture& capture,
                                     double sampleRate);
    // Writes the capture into the next free numbered file. False when it
    // failed; errorString() then names the file and the reason.
    bool write(const CsvWriter::SHeader& header, const Trigger::SCapture& capture,
               double sampleRate);
    // The file last written.
    QString fileName() const { return m_fileName; }
    QString errorString() const { return m_error; }

    static QString numberedName(int number);

private:
    bool fail(const QString& file, const QString& reason);

    QString m_folder;
    int m_next = 1;
    QString m_fileName;
    QString m_error;
};
