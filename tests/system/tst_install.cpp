// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The installed program: `cmake --install` of this build into a temporary
// DESTDIR, checked as a desktop, a user and a packager would see it, and the
// Debian package built from the same build.
#include "aboutdialog.h"

#include <QDirIterator>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString APP_ID = QStringLiteral(SKARVEL_APP_ID);

struct SRun
{
    int exitCode = -1;
    QString out, err;
};

SRun run(const QString& program, const QStringList& arguments,
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    SRun result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.exitCode = process.exitCode();
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

// No display at all: a program that opened a window without being told
// where would fail. Settings, when given, come from that folder rather than
// the user's own.
QProcessEnvironment withoutDisplay(const QString& configHome = QString())
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    if (!configHome.isEmpty())
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    return environment;
}

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

// Files below `root`, as paths relative to it.
QStringList filesBelow(const QString& root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(QDir(root).relativeFilePath(it.next()));
    files.sort();
    return files;
}

} // namespace

class tst_Install : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void layout();
    void validators_data();
    void validators();
    void librariesResolve();
    void recorderLoadsNoGuiLibrary();
    void commandLine_data();
    void commandLine();
    void startsOffscreen();
    void damagedSettingsWarn();
    void desktopFileOpensCsv();
    void aboutFindsLicences();
    void debianPackage();

private:
    QTemporaryDir m_destDir;
    QString m_usr; // the installed prefix /usr inside m_destDir
    QString m_program;
};

void tst_Install::initTestCase()
{
    QVERIFY(m_destDir.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DESTDIR"), m_destDir.path());
    const SRun install = run(QStringLiteral(CMAKE_COMMAND),
                             {QStringLiteral("--install"), QStringLiteral(PROJECT_BINARY_DIR),
                              QStringLiteral("--prefix"), QStringLiteral("/usr")},
                             environment);
    QVERIFY2(install.exitCode == 0, qPrintable(install.out + install.err));
    m_usr = m_destDir.path() + QStringLiteral("/usr");
    m_program = m_usr + QStringLiteral("/bin/skarvel-monitor");
}

void tst_Install::layout()
{
    QStringList expected = {
        QStringLiteral("bin/skarvel-monitor"),
        QStringLiteral("bin/skarvel-record"),
        QStringLiteral("share/applications/%1.desktop").arg(APP_ID),
        QStringLiteral("share/metainfo/%1.metainfo.xml").arg(APP_ID),
        QStringLiteral("share/icons/hicolor/scalable/apps/%1.svg").arg(APP_ID),
        QStringLiteral("lib/udev/rules.d/70-skarvel.rules"),
        QStringLiteral("share/man/man1/skarvel-monitor.1.gz"),
        QStringLiteral("share/man/man1/skarvel-record.1.gz"),
        QStringLiteral("share/doc/skarvel-monitor/LICENSE"),
        QStringLiteral("share/doc/skarvel-monitor/LICENSE-fftw.txt"),
    };
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        expected.append(
            QStringLiteral("share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(APP_ID));
    const QStringList installed = filesBelow(m_usr);
    for (const QString& file : expected)
        QVERIFY2(installed.contains(file), qPrintable(file));
    // The simulated program and hidapi stay out of it.
    for (const QString& file : installed)
        QVERIFY2(!file.contains(QLatin1String("-sim")) &&
                     !file.contains(QLatin1String("hidapi.so")),
                 qPrintable(file));
    for (int size : {16, 256}) {
        const QImage icon(
            m_usr + QStringLiteral("/share/icons/hicolor/%1x%1/apps/%2.png").arg(size).arg(APP_ID));
        QCOMPARE(icon.size(), QSize(size, size));
    }
}

void tst_Install::validators_data()
{
    QTest::addColumn<QString>("tool");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("file");

    QTest::newRow("desktop file") << "desktop-file-validate" << QStringList()
                                  << QStringLiteral("share/applications/%1.desktop").arg(APP_ID);
    QTest::newRow("AppStream") << "appstreamcli" << QStringList{"validate", "--no-net"}
                               << QStringLiteral("share/metainfo/%1.metainfo.xml").arg(APP_ID);
}

void tst_Install::validators()
{
    QFETCH(QString, tool);
    QFETCH(QStringList, arguments);
    QFETCH(QString, file);
    const QString path = QStandardPaths::findExecutable(tool);
    QVERIFY2(!path.isEmpty(), qPrintable(tool + QStringLiteral(" missing: run scripts/setup.sh")));
    const SRun result = run(path, arguments << m_usr + '/' + file);
    QVERIFY2(result.exitCode == 0, qPrintable(result.out + result.err));
}

void tst_Install::librariesResolve()
{
    const SRun ldd = run(tool("ldd"), {m_program});
    QCOMPARE(ldd.exitCode, 0);
    QVERIFY2(!ldd.out.contains(QLatin1String("not found")), qPrintable(ldd.out));
    QVERIFY2(!ldd.out.contains(QLatin1String("hidapi")), qPrintable(ldd.out));
    QVERIFY2(ldd.out.contains(QLatin1String("libQt6Widgets")), qPrintable(ldd.out));
}

// A test rig has no display server and may lack the GUI libraries altogether.
void tst_Install::recorderLoadsNoGuiLibrary()
{
    const QString recorder = m_usr + QStringLiteral("/bin/skarvel-record");
    const SRun ldd = run(tool("ldd"), {recorder});
    QCOMPARE(ldd.exitCode, 0);
    QVERIFY2(!ldd.out.contains(QLatin1String("not found")), qPrintable(ldd.out));
    QVERIFY2(ldd.out.contains(QLatin1String("libQt6Core")), qPrintable(ldd.out));
    for (const char* library :
         {"libQt6Gui", "libQt6Widgets", "libX11", "libxcb", "libGL", "libEGL", "hidapi", "fftw"})
        QVERIFY2(!ldd.out.contains(QLatin1String(library)), qPrintable(library + ldd.out));
}

void tst_Install::commandLine_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out"); // a pattern for stdout
    QTest::addColumn<QString>("err"); // a pattern for stderr

    const QString version = QStringLiteral("^skarvel-monitor %1\n$").arg(SKARVEL_VERSION);
    const QString hint = QStringLiteral("Try 'skarvel-monitor --help' for more information");
    QTest::newRow("--version") << "skarvel-monitor" << QStringList{"--version"} << 0 << version
                               << "^$";
    QTest::newRow("-platform offscreen --version")
        << "skarvel-monitor" << QStringList{"-platform", "offscreen", "--version"} << 0 << version
        << "^$";
    QTest::newRow("--help") << "skarvel-monitor" << QStringList{"--help"} << 0
                            << "--version.*Displays version.*--reset-settings.*file"
                            << "^$";
    QTest::newRow("--bogus") << "skarvel-monitor" << QStringList{"--bogus"} << 1 << "^$"
                             << "Unknown option 'bogus'.*\n" + hint;
    QTest::newRow("a.csv b.csv") << "skarvel-monitor" << QStringList{"a.csv", "b.csv"} << 1 << "^$"
                                 << "Unexpected argument 'b.csv'.*\n" + hint;

    QTest::newRow("skarvel-record --version")
        << "skarvel-record" << QStringList{"--version"} << 0
        << QStringLiteral("^skarvel-record %1\n$").arg(SKARVEL_VERSION) << "^$";
    QTest::newRow("skarvel-record --help")
        << "skarvel-record" << QStringList{"--help"} << 0
        << "Exit status: 0 recorded, 2 bad options.*--accel-range <range> "
        << "^$";
    QTest::newRow("skarvel-record --gyro-range 3")
        << "skarvel-record" << QStringList{"--gyro-range", "3", "f.csv"} << 2 << "^$"
        << "^skarvel-record: --gyro-range: '3' is not a choice; "
           "choose one of 125, 245, 500, 1000, 2000\\.\n";
}

void tst_Install::commandLine()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    const SRun result = run(m_usr + QStringLiteral("/bin/") + program, arguments, withoutDisplay());
    QCOMPARE(result.exitCode, exitCode);
    const auto dotAll = QRegularExpression::DotMatchesEverythingOption;
    QVERIFY2(QRegularExpression(out, dotAll).match(result.out).hasMatch(), qPrintable(result.out));
    QVERIFY2(QRegularExpression(err, dotAll).match(result.err).hasMatch(), qPrintable(result.err));
}

void tst_Install::startsOffscreen()
{
    // Qt's own option reaches the application object.
    QTemporaryDir config;
    QProcess process;
    process.setProcessEnvironment(withoutDisplay(config.path()));
    process.start(m_program, {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(process.waitForStarted());
    // Still running after a while: it came up and sits in its event loop.
    QVERIFY2(!process.waitForFinished(1500), process.readAllStandardError().constData());
    process.kill();
    process.waitForFinished();
}

void tst_Install::damagedSettingsWarn()
{
    QTemporaryDir config;
    const QString settings = config.filePath(APP_ID + QStringLiteral(".conf"));
    QFile file(settings);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\x01\x02 not a settings file\n[window\n");
    file.close();
    QProcess process;
    process.setProcessEnvironment(withoutDisplay(config.path()));
    process.start(m_program, {QStringLiteral("-platform"), QStringLiteral("offscreen")});
    QVERIFY(process.waitForStarted());
    QString err;
    const QString expected =
        QStringLiteral("ignoring the settings file %1: it is not a settings file").arg(settings);
    for (int waited = 0; !err.contains(expected) && waited < 60000; waited += 100) {
        process.waitForReadyRead(100);
        err += QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(process.state() == QProcess::Running, qPrintable(err)); // and no crash
    }
    process.kill();
    process.waitForFinished();
    QVERIFY2(err.contains(expected), qPrintable(err));
}

void tst_Install::desktopFileOpensCsv()
{
    // File managers offer the program for CSV files and pass the file's path.
    QFile file(m_usr + QStringLiteral("/share/applications/%1.desktop").arg(APP_ID));
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY2(text.contains(QLatin1String("\nExec=skarvel-monitor %f\n")), qPrintable(text));
    QVERIFY2(
        QRegularExpression(QStringLiteral("\nMimeType=([^\n]*;)?text/csv;")).match(text).hasMatch(),
        qPrintable(text));
}

void tst_Install::aboutFindsLicences()
{
    // The About dialog looks beside the executable, then in
    // <bin>/../share/doc/skarvel-monitor/: the files its links name must be there.
    AboutDialog dialog;
    const QRegularExpression licenseLink(QStringLiteral("href=\"(LICENSE[^\"]*)\""));
    int found = 0;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        const QRegularExpressionMatch match = licenseLink.match(label->text());
        if (!match.hasMatch())
            continue;
        ++found;
        const QString path =
            m_usr + QStringLiteral("/bin/../share/doc/skarvel-monitor/") + match.captured(1);
        QVERIFY2(QFileInfo(path).size() > 1000, qPrintable(path));
    }
    QCOMPARE(found, 3);
}

void tst_Install::debianPackage()
{
    QTemporaryDir out;
    const SRun cpack = run(QStringLiteral(CPACK_COMMAND),
                           {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                            QStringLiteral(PROJECT_BINARY_DIR "/CPackConfig.cmake"),
                            QStringLiteral("-B"), out.path()});
    QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.out + cpack.err));
    const QStringList debs = QDir(out.path()).entryList({QStringLiteral("*.deb")});
    QCOMPARE(debs.size(), 1);
    const SRun arch = run(tool("dpkg"), {QStringLiteral("--print-architecture")});
    // A native package: its changelog's newest entry is the package's version.
    const SRun changelog =
        run(tool("gzip"), {QStringLiteral("-dc"),
                           m_usr + QStringLiteral("/share/doc/skarvel-monitor/changelog.gz")});
    QVERIFY2(
        changelog.out.startsWith(QStringLiteral("skarvel-monitor (" SKARVEL_PACKAGE_VERSION ") ")),
        qPrintable(changelog.out));
    QCOMPARE(debs.first(), QStringLiteral("skarvel-monitor_%1_%2.deb")
                               .arg(SKARVEL_PACKAGE_VERSION, arch.out.trimmed()));
    const QString deb = out.path() + '/' + debs.first();

    const SRun info = run(tool("dpkg-deb"), {QStringLiteral("-I"), deb});
    QCOMPARE(info.exitCode, 0);
    for (const QString& field :
         {QStringLiteral("Package: skarvel-monitor"),
          QStringLiteral("Version: " SKARVEL_PACKAGE_VERSION "\n"),
          QStringLiteral("Section: science"), QStringLiteral("postinst"), QStringLiteral("postrm")})
        QVERIFY2(info.out.contains(field), qPrintable(field + '\n' + info.out));
    const QString depends =
        QRegularExpression(QStringLiteral("Depends: ([^\n]*)")).match(info.out).captured(1);
    for (const QString& package : {QStringLiteral("libqt6widgets6"), QStringLiteral("libudev1"),
                                   QStringLiteral("qt6-qpa-plugins")})
        QVERIFY2(depends.contains(package), qPrintable(depends));
    QVERIFY2(!depends.contains(QLatin1String("hidapi")), qPrintable(depends));

    // The package holds what `cmake --install` puts under /usr, nothing else.
    const SRun contents = run(tool("dpkg-deb"), {QStringLiteral("-c"), deb});
    QStringList packaged;
    for (const QString& line : contents.out.split('\n')) {
        if (line.startsWith('-'))
            packaged.append(line.section(QStringLiteral("./usr/"), 1));
    }
    packaged.sort();
    QCOMPARE(packaged, filesBelow(m_usr));

    const QString lintian = tool("lintian");
    if (lintian.isEmpty())
        QSKIP("lintian not installed");
    const SRun lint = run(lintian, {deb});
    QVERIFY2(!QRegularExpression(QStringLiteral("^E: "), QRegularExpression::MultilineOption)
                  .match(lint.out)
                  .hasMatch(),
             qPrintable(lint.out));
}

QTEST_MAIN(tst_Install)
#include "tst_install.moc"
