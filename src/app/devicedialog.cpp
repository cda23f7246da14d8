// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "devicedialog.h"

#include "csimplehidclass.h"
#include "cskarvel.h"
#include "deviceaccess.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <vector>

DeviceDialog::DeviceDialog(QWidget* parent)
    : QDialog(parent), m_combo(new QComboBox(this)),
      m_buttonBox(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this)),
      m_accessHint(new QLabel(this))
{
    setWindowTitle(tr("Select device"));
    m_combo->setObjectName(QStringLiteral("cmb_serial"));
    m_combo->setMinimumContentsLength(12);
    auto* refreshButton = new QPushButton(tr("Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("btn_refresh"));

    auto* field = new QHBoxLayout;
    field->addWidget(m_combo, 1);
    field->addWidget(refreshButton, 0);
    auto* form = new QFormLayout;
    form->addRow(tr("Serial number"), field);
    m_accessHint->setObjectName(QStringLiteral("lbl_access_hint"));
    m_accessHint->setTextFormat(Qt::PlainText);
    m_accessHint->setTextInteractionFlags(Qt::TextSelectableByMouse); // the command, to copy
    m_accessHint->hide();
    form->addRow(m_accessHint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttonBox);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(refreshButton, &QPushButton::clicked, this, &DeviceDialog::refresh);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_combo, &QComboBox::currentIndexChanged, this, &DeviceDialog::updateAccessHint);

    refresh();
}

std::wstring DeviceDialog::selectedSerial() const
{
    if (m_combo->currentIndex() < 0)
        return std::wstring();
    return m_combo->currentText().toStdWString();
}

void DeviceDialog::selectSerial(const QString& serial)
{
    const int found = m_combo->findText(serial, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!serial.isEmpty() && found >= 0)
        m_combo->setCurrentIndex(found);
}

void DeviceDialog::refresh()
{
    const QString remembered = m_combo->currentText();
    std::vector<std::wstring> serials;
    CSkarvel::EnumerateDevices(serials); // a failed listing leaves the list empty
    std::vector<SHidDeviceInfo> interfaces;
    CSimpleHidClass::EnumerateDevices(interfaces, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID);
    m_interface0Paths.clear();
    for (const SHidDeviceInfo& info : interfaces) {
        if (info.interfaceNumber == 0)
            m_interface0Paths[info.serialNumber] = info.path; // the last wins, as in Connect
    }

    m_combo->clear();
    for (const std::wstring& serial : serials)
        m_combo->addItem(QString::fromStdWString(serial));

    const int kept = m_combo->findText(remembered, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (kept >= 0)
        m_combo->setCurrentIndex(kept);
    else if (m_combo->currentIndex() < 0 && m_combo->count() > 0)
        m_combo->setCurrentIndex(0); // with a placeholder set, the box would choose nothing

    const bool any = m_combo->count() > 0;
    m_combo->setEnabled(any);
    m_combo->setPlaceholderText(tr("No device found"));
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(any);
    updateAccessHint();
}

void DeviceDialog::updateAccessHint()
{
    const auto found = m_interface0Paths.find(selectedSerial());
    if (m_combo->currentIndex() < 0 || found == m_interface0Paths.end() ||
        DeviceAccess::canReadWrite(found->second)) {
        m_accessHint->hide();
        return;
    }
    m_accessHint->setText(DeviceAccess::guidance(found->second));
    m_accessHint->show();
}

// Compiled here rather than in the library's shared moc unit, so that a program
// using only the graph widget does not pull in the windows and the sensor.
#include "moc_devicedialog.cpp"
