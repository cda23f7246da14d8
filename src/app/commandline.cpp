// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "commandline.h"

#include <QCommandLineParser>
#include <QStringList>

#include <cstdio>

namespace {

// Options QGuiApplication and QApplication take out of the arguments
// themselves; known here only so that they are not rejected as unknown.
const char* const QT_VALUE_OPTIONS[] = {"platform",
                                        "platformpluginpath",
                                        "platformtheme",
                                        "plugin",
                                        "qwindowgeometry",
                                        "qwindowicon",
                                        "qwindowtitle",
                                        "session",
                                        "display",
                                        "geometry",
                                        "title",
                                        "name",
                                        "visual",
                                        "ncols",
                                        "cmap",
                                        "style",
                                        "stylesheet",
                                        "qmljsdebugger",
                                        "fontengine"};
const char* const QT_FLAG_OPTIONS[] = {"reverse", "widgetcount", "nograb", "dograb", "testability"};

} // namespace

std::optional<int> CommandLine::handle(int argc, char* argv[], SOptions* options)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    QCommandLineParser parser;
    // Qt's options are single-dash words (-platform offscreen).
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        tr("Live monitor for the Skarvel USB inertial sensor: acceleration and angular rate, "
           "statistics, CSV and JPEG export."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption resetOption(
        QStringLiteral("reset-settings"),
        tr("Start from the default window layout, views and folders, forgetting the remembered "
           "ones."));
    parser.addOption(resetOption);
    parser.addPositionalArgument(QStringLiteral("file"),
                                 tr("A measurement file (.csv) to open at start."),
                                 QStringLiteral("[file]"));
    for (const char* name : QT_VALUE_OPTIONS) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : QT_FLAG_OPTIONS) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const bool parsed = parser.parse(arguments);
    const bool unexpected = parsed && parser.positionalArguments().size() > 1;
    if (parsed && !unexpected && !parser.isSet(helpOption) && !parser.isSet(versionOption) &&
        !parser.isSet(QStringLiteral("help-all"))) {
        if (options != nullptr) {
            options->file = parser.positionalArguments().value(0);
            options->resetSettings = parser.isSet(resetOption);
        }
        return std::nullopt;
    }

    // Console answers need no display: a core application object suffices.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(SKARVEL_VERSION));
    if (!parsed || unexpected) {
        const QString error =
            parsed ? tr("Unexpected argument '%1'.").arg(parser.positionalArguments().at(1))
                   : parser.errorText();
        const QString name = QCoreApplication::applicationName();
        std::fprintf(
            stderr, "%s\n",
            qPrintable(tr("%1: %2\nTry '%1 --help' for more information.").arg(name, error)));
        return 1;
    }
    parser.process(app); // prints the help or the version and exits
    return 0;
}
