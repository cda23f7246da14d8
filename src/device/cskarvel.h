// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The Skarvel inertial sensor on top of the HID transport: parameters,
// samples, connection by serial number, its two commands and sample streaming.
// Every operation runs on the GUI thread; only the report handler runs on the
// transport's read thread.
#pragma once

#include "csimplehidclass.h"
#include "skarvelprotocol.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// USB IDs of the sensor (pid.codes open-hardware test range).
constexpr unsigned short SKARVEL_VENDOR_ID = 0x1209;
constexpr unsigned short SKARVEL_PRODUCT_ID = 0x0001;

// The four configuration bytes, in the order the set-parameters command carries them.
struct SSkarvelParams
{
    uint8_t accelRange = 0;
    uint8_t accelFilter = 0;
    uint8_t gyroRange = 0;
    uint8_t gyroHighPass = 0;
};

// One decoded input report: raw counts, 0 meaning zero.
struct SSkarvelSample
{
    int32_t accelX = 0;
    int32_t accelY = 0;
    int32_t accelZ = 0;
    int32_t gyroX = 0;
    int32_t gyroY = 0;
    int32_t gyroZ = 0;
    uint8_t extraByte = 0;
};

// Called on the read thread, once per report.
using SampleCallback = std::function<void(const SSkarvelSample&)>;

class CSkarvel
{
public:
    CSkarvel();
    ~CSkarvel();

    CSkarvel(const CSkarvel&) = delete;
    CSkarvel& operator=(const CSkarvel&) = delete;

    // Opens interface 0 of the sensor with exactly this serial number and
    // resets it to the all-zero configuration.
    bool Connect(const std::wstring& serialNumber);
    void Disconnect();
    bool IsConnected() const;
    std::wstring GetSerialNumber() const;
    uint16_t GetFirmware() const;
    std::string GetLastError() const;

    bool SendCommand(const skarvel::Command& command);
    bool SetParams(const SSkarvelParams& params);
    bool StoreParams();
    const SSkarvelParams& GetParams() const;
    static bool IsValid(const SSkarvelParams& params);
    double ToG(int raw) const;
    double ToDps(int raw) const;

    bool StartSensorThread(SampleCallback callback);
    void StopSensorThread();
    bool IsSensorThreadRunning() const;
    bool ReadSample(SSkarvelSample& sample, int timeoutMs);
    static bool ParseJoystickReport(const std::vector<uint8_t>& report, SSkarvelSample& sample);

    // Distinct serial numbers of the attached sensors, sorted.
    static bool EnumerateDevices(std::vector<std::wstring>& serialNumbers);

private:
    CSimpleHidClass m_hid;
    ReadCallback m_reportHandler; // copied into each read thread it starts
    std::wstring m_serialNumber;
    uint16_t m_firmware = 0;
    SSkarvelParams m_params;
    std::string m_lastError;
};
