// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Modal choice of the sensor to connect to, by serial number.
#pragma once

#include <QDialog>

#include <map>
#include <string>

class QComboBox;
class QDialogButtonBox;
class QLabel;

class DeviceDialog : public QDialog
{
    Q_OBJECT

public:
    explicit DeviceDialog(QWidget* parent = nullptr);

    // The chosen serial number; empty when nothing is listed.
    std::wstring selectedSerial() const;
    // Chooses the sensor with this serial number if it is listed.
    void selectSerial(const QString& serial);

public slots:
    // Lists the attached sensors again, keeping the chosen one when it is still there.
    void refresh();

private:
    // Shows how to get access when the chosen sensor's device node cannot be
    // opened by this user; hidden otherwise.
    void updateAccessHint();

    QComboBox* m_combo;
    QDialogButtonBox* m_buttonBox;
    QLabel* m_accessHint;
    // Serial number -> the interface-0 path a connect would open, as of the last refresh.
    std::map<std::wstring, std::string> m_interface0Paths;
};
