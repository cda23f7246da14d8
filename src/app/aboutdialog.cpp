// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "aboutdialog.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QList>
#include <QMessageBox>
#include <QPair>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString APP_NAME = QStringLiteral("Skarvel Monitor");
const QString APP_VERSION = QStringLiteral(SKARVEL_VERSION);
const QString APP_YEAR = QStringLiteral("2026");

// Label and target; a target without "://" is an e-mail address.
const QList<QPair<QString, QString>> LINKS = {
    {QStringLiteral("Homepage"), QStringLiteral(SKARVEL_HOMEPAGE)},
    {QStringLiteral("Support"), QStringLiteral("support@skarvel.example")},
    {QStringLiteral("Forum"), QStringLiteral("https://forum.skarvel.example/")},
};

struct SComponent
{
    QString name;
    QString license;
    QString licenseFile;
};

const QList<SComponent> COMPONENTS = {
    {QStringLiteral("Qt 6"), QStringLiteral("LGPL-3.0"), QStringLiteral("LICENSE-qt.txt")},
    {QStringLiteral("hidapi"), QStringLiteral("Own license (permissive)"),
     QStringLiteral("LICENSE-hidapi.txt")},
    {QStringLiteral("Google Material Icons"), QStringLiteral("Apache-2.0"),
     QStringLiteral("LICENSE-google-material-icons.txt")},
};

QLabel* newLinkLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                                   Qt::LinksAccessibleByKeyboard);
    label->setOpenExternalLinks(false);
    return label;
}

} // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("About %1").arg(APP_NAME));
    auto* layout = new QVBoxLayout(this);

    auto* header = new QLabel(tr("<h3>%1</h3><p>Version %2<br>&copy; %3</p>")
                                  .arg(APP_NAME.toHtmlEscaped(), APP_VERSION, APP_YEAR),
                              this);
    header->setTextFormat(Qt::RichText);
    layout->addWidget(header);

    for (const auto& link : LINKS) {
        const QString& target = link.second;
        const QString address = target.contains(QLatin1String("://"), Qt::CaseInsensitive)
                                    ? target
                                    : QStringLiteral("mailto:") + target;
        QLabel* label = newLinkLabel(
            QStringLiteral("%1: <a href=\"%2\">%3</a>").arg(link.first, address, target), this);
        connect(label, &QLabel::linkActivated, this, &AboutDialog::openExternalLink);
        layout->addWidget(label);
    }

    auto* separator = new QFrame(this);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    layout->addWidget(separator);

    auto* componentsTitle = new QLabel(tr("Third-party components:"), this);
    componentsTitle->setTextFormat(Qt::PlainText);
    layout->addWidget(componentsTitle);

    for (const SComponent& component : COMPONENTS) {
        QLabel* label =
            newLinkLabel(QStringLiteral("<a href=\"%1\">%2 (%3)</a>")
                             .arg(component.licenseFile, component.name, component.license),
                         this);
        connect(label, &QLabel::linkActivated, this, &AboutDialog::openLicenseFile);
        layout->addWidget(label);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void AboutDialog::openExternalLink(const QString& url)
{
    if (!QDesktopServices::openUrl(QUrl(url, QUrl::TolerantMode)))
        QMessageBox::warning(this, windowTitle(), tr("Could not open the link.\n\n%1").arg(url));
}

void AboutDialog::openLicenseFile(const QString& fileName)
{
    const QString appDir = QCoreApplication::applicationDirPath();
    const QString candidates[] = {appDir + QStringLiteral("/licenses/"),
                                  appDir + QStringLiteral("/../share/doc/skarvel-monitor/")};
    for (const QString& directory : candidates) {
        const QString path = directory + fileName;
        if (!QFileInfo::exists(path))
            continue;
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
            QMessageBox::warning(
                this, windowTitle(),
                tr("Could not open the license file.\n\n%1").arg(QDir::toNativeSeparators(path)));
        }
        return;
    }
    QMessageBox::warning(this, windowTitle(),
                         tr("License file not found.\n\n%1")
                             .arg(QDir::toNativeSeparators(candidates[0] + fileName)));
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_aboutdialog.cpp"
