// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Process entry of skarvel-record: the sensor to a CSV file, without a window.
#include "headlessrecorder.h"
#include "recordoptions.h"
#include "stopsignals.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(SKARVEL_VERSION));

    RecordOptions options;
    if (!options.parse(QCoreApplication::arguments())) {
        const QString name = QCoreApplication::applicationName();
        std::fprintf(
            stderr, "%s\n",
            qPrintable(QCoreApplication::translate("RecordOptions",
                                                   "%1: %2\nTry '%1 --help' for more information.")
                           .arg(name, options.errorString())));
        return recordstatus::BAD_OPTIONS;
    }
    switch (options.action()) {
    case RecordOptions::EAction::Help:
        std::fputs(qPrintable(options.helpText()), stdout);
        return recordstatus::OK;
    case RecordOptions::EAction::Version:
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(QCoreApplication::applicationVersion()));
        return recordstatus::OK;
    case RecordOptions::EAction::List:
        return HeadlessRecorder::list(stdout, stderr);
    case RecordOptions::EAction::Record:
        break;
    }

    // A reader that goes away or a file size limit is a write error of the
    // recording, which ends it with whole lines, not the end of the process.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    HeadlessRecorder recorder(options);
    StopSignals stopSignals;
    QObject::connect(&stopSignals, &StopSignals::received, &recorder, &HeadlessRecorder::stop);
    return recorder.exec();
}
