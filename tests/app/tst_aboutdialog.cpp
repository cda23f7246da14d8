// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The About dialog: contact links, licence files and how it closes. The
// desktop's URL handler is replaced, so nothing is opened for real.
#include "aboutdialog.h"
#include "mainwindow_testing.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QUrl>

using namespace testing;

namespace {

class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void open(const QUrl& url) { urls.append(url); }
};

// The label whose text contains `part`, and the target of its link.
QLabel* linkLabel(const QDialog& dialog, const QString& part, QString* href)
{
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->text().contains(part))
            continue;
        const QRegularExpressionMatch match =
            QRegularExpression(QStringLiteral("href=\"([^\"]*)\"")).match(label->text());
        if (match.hasMatch())
            *href = match.captured(1);
        return label;
    }
    return nullptr;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

} // namespace

class tst_AboutDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void texts();
    void links_data();
    void links();
    void licenseFilesOfTheBuild_data();
    void licenseFilesOfTheBuild();
    void licenseFoundUnderLicensesFirst();
    void licenseFoundInSharedDocs();
    void licenseNotFound();
    void closes_data();
    void closes();
    void openedFromMainWindow();

private:
    UrlRecorder m_recorder;
    QString m_sharedDocs;
    QStringList m_created;
};

void tst_AboutDialog::initTestCase()
{
    for (const char* scheme : {"http", "https", "mailto", "file"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &m_recorder, "open");
    m_sharedDocs =
        QCoreApplication::applicationDirPath() + QStringLiteral("/../share/doc/skarvel-monitor/");
}

void tst_AboutDialog::cleanupTestCase()
{
    for (const QString& file : std::as_const(m_created))
        QFile::remove(file);
    for (const char* scheme : {"http", "https", "mailto", "file"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
}

void tst_AboutDialog::init()
{
    m_recorder.urls.clear();
}

void tst_AboutDialog::texts()
{
    AboutDialog dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("About Skarvel Monitor"));
    QString all;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        all += label->text() + '\n';
    QVERIFY(all.contains(QStringLiteral("1.0.0")));
    QVERIFY(all.contains(QStringLiteral("2026")));
    QVERIFY(all.contains(QStringLiteral("Third-party components:")));
    QVERIFY(all.contains(QStringLiteral(">Qt 6 (LGPL-3.0)</a>")));
    QVERIFY(all.contains(QStringLiteral(">hidapi (Own license (permissive))</a>")));
    QVERIFY(all.contains(QStringLiteral(">Google Material Icons (Apache-2.0)</a>")));
    const QList<QDialogButtonBox*> boxes = dialog.findChildren<QDialogButtonBox*>();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.first()->standardButtons(), QDialogButtonBox::Close);
}

void tst_AboutDialog::links_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("scheme");

    QTest::newRow("Homepage") << QStringLiteral("Homepage: ") << QStringLiteral("https");
    QTest::newRow("Support") << QStringLiteral("Support: ") << QStringLiteral("mailto");
    QTest::newRow("Forum") << QStringLiteral("Forum: ") << QStringLiteral("https");
}

void tst_AboutDialog::links()
{
    QFETCH(QString, label);
    QFETCH(QString, scheme);
    AboutDialog dialog;
    QString href;
    QLabel* link = linkLabel(dialog, label, &href);
    QVERIFY(link);
    QVERIFY(!link->openExternalLinks());
    QCOMPARE(int(link->textInteractionFlags()), 13);

    emit link->linkActivated(href);

    QCOMPARE(m_recorder.urls.size(), 1);
    const QUrl opened = m_recorder.urls.first();
    QCOMPARE(opened.scheme(), scheme);
    // What is shown is the target as written: an address without "mailto:".
    const QString shown = link->text().section('>', 1).section('<', 0, 0);
    QVERIFY(!shown.startsWith(QLatin1String("mailto:")));
    if (scheme == QLatin1String("mailto"))
        QCOMPARE(opened.path(), shown);
    else
        QCOMPARE(opened.toString(), shown);
}

void tst_AboutDialog::licenseFilesOfTheBuild_data()
{
    QTest::addColumn<QString>("component");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("marker");

    QTest::newRow("Qt 6") << QStringLiteral(">Qt 6 (") << QStringLiteral("LICENSE-qt.txt")
                          << QStringLiteral("GNU LESSER GENERAL PUBLIC LICENSE");
    QTest::newRow("hidapi") << QStringLiteral(">hidapi (") << QStringLiteral("LICENSE-hidapi.txt")
                            << QStringLiteral("HIDAPI");
    QTest::newRow("Google Material Icons")
        << QStringLiteral(">Google Material Icons (")
        << QStringLiteral("LICENSE-google-material-icons.txt") << QStringLiteral("Apache License");
}

// The build puts the texts beside the executables; clicking opens them.
void tst_AboutDialog::licenseFilesOfTheBuild()
{
    QFETCH(QString, component);
    QFETCH(QString, fileName);
    QFETCH(QString, marker);
    AboutDialog dialog;
    ModalAnswerer modals;
    QString href;
    QLabel* link = linkLabel(dialog, component, &href);
    QVERIFY(link);
    QCOMPARE(href, fileName);

    emit link->linkActivated(href);

    QCOMPARE(modals.unexpected(), 0);
    QCOMPARE(m_recorder.urls.size(), 1);
    const QString path = m_recorder.urls.first().toLocalFile();
    QCOMPARE(QFileInfo(path).canonicalFilePath(), QFileInfo(QCoreApplication::applicationDirPath() +
                                                            QStringLiteral("/licenses/") + fileName)
                                                      .canonicalFilePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(marker.toUtf8()));
}

void tst_AboutDialog::licenseFoundUnderLicensesFirst()
{
    const QString shared = m_sharedDocs + QStringLiteral("LICENSE-qt.txt");
    QVERIFY(!QFile::exists(shared));
    QVERIFY(writeFile(shared, "shared copy"));
    m_created << shared;

    AboutDialog dialog;
    dialog.openLicenseFile(QStringLiteral("LICENSE-qt.txt"));
    QFile::remove(shared);

    QCOMPARE(m_recorder.urls.size(), 1);
    QCOMPARE(QFileInfo(m_recorder.urls.first().toLocalFile()).canonicalFilePath(),
             QFileInfo(QCoreApplication::applicationDirPath() +
                       QStringLiteral("/licenses/LICENSE-qt.txt"))
                 .canonicalFilePath());
}

void tst_AboutDialog::licenseFoundInSharedDocs()
{
    const QString name = QStringLiteral("LICENSE-tst-only-shared.txt");
    const QString shared = m_sharedDocs + name;
    QVERIFY(writeFile(shared, "shared copy"));
    m_created << shared;

    AboutDialog dialog;
    dialog.openLicenseFile(name);
    QFile::remove(shared);

    QCOMPARE(m_recorder.urls.size(), 1);
    QCOMPARE(m_recorder.urls.first(), QUrl::fromLocalFile(shared));
}

void tst_AboutDialog::licenseNotFound()
{
    AboutDialog dialog;
    ModalAnswerer modals;
    modals.expectMessage();

    dialog.openLicenseFile(QStringLiteral("LICENSE-nowhere.txt"));

    QCOMPARE(modals.unanswered(), 0);
    QCOMPARE(modals.seen().size(), 1);
    QCOMPARE(modals.seen().first().title, QStringLiteral("About Skarvel Monitor"));
    QCOMPARE(modals.seen().first().text,
             QStringLiteral("License file not found.\n\n") +
                 QDir::toNativeSeparators(QCoreApplication::applicationDirPath() +
                                          QStringLiteral("/licenses/LICENSE-nowhere.txt")));
    QVERIFY(m_recorder.urls.isEmpty());
}

void tst_AboutDialog::closes_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Close button") << QStringLiteral("button");
    QTest::newRow("Escape") << QStringLiteral("escape");
    QTest::newRow("window close") << QStringLiteral("window");
}

void tst_AboutDialog::closes()
{
    QFETCH(QString, how);
    AboutDialog dialog;
    ModalAnswerer modals;
    modals.expect([how](QWidget* widget) {
        if (how == QLatin1String("button"))
            widget->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Close)->click();
        else if (how == QLatin1String("escape"))
            QTest::keyClick(widget, Qt::Key_Escape);
        else
            widget->close();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(modals.unexpected(), 0);
}

void tst_AboutDialog::openedFromMainWindow()
{
    hidsim::reset();
    MainWindow window;
    ModalAnswerer modals;
    modals.expect([](QWidget* widget) { static_cast<QDialog*>(widget)->reject(); });
    WindowParts(window).action("actionAbout")->trigger();
    QCOMPARE(modals.seen().size(), 1);
    QCOMPARE(modals.seen().first().className, QStringLiteral("AboutDialog"));
    QVERIFY(window.findChildren<AboutDialog*>().isEmpty()); // gone after exec()
}

QTEST_MAIN(tst_AboutDialog)
#include "tst_aboutdialog.moc"
