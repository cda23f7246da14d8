// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "cskarvel.h"

#include <algorithm>
#include <cstddef>
#include <type_traits>

namespace {

const char* const TEXT_DEVICE_NOT_FOUND = "Device not found";
const char* const TEXT_INVALID_PARAMS = "Invalid sensor parameters";
const char* const TEXT_THREAD_RUNNING = "Sensor thread is running";
const char* const TEXT_REPORT_TOO_SHORT = "Joystick report too short";

using skarvel::REPORT_LENGTH;
constexpr int READ_TIMEOUT_MS = 100;

// Both parsers go through here so the thread and the polling path agree.
void Decode(const std::vector<uint8_t>& report, SSkarvelSample& sample)
{
    auto axis = [&report](std::size_t i) {
        return static_cast<int32_t>(report[2 * i + 1]) * 256 + static_cast<int32_t>(report[2 * i]) -
               skarvel::AXIS_ZERO;
    };
    sample.accelX = axis(0);
    sample.accelY = axis(1);
    sample.accelZ = axis(2);
    sample.gyroX = axis(3);
    sample.gyroY = axis(4);
    sample.gyroZ = axis(5);
    sample.extraByte = report[12];
}

// Serial numbers are ordered by UTF-16 code units compared as unsigned
// 16-bit values. Where wchar_t holds whole code points (32-bit), a code point
// above U+FFFF is compared as its surrogate pair, so U+10000 sorts before
// U+E000 exactly as it would where wchar_t is UTF-16.
class Utf16Units
{
public:
    explicit Utf16Units(const std::wstring& text) : m_text(text) {}

    // Next unit, or false at the end. Values that are no code point at all
    // (negative or beyond U+10FFFF) keep their own value and so sort after
    // every real unit.
    bool Next(uint32_t& unit)
    {
        if (m_pendingLow != 0) {
            unit = m_pendingLow;
            m_pendingLow = 0;
            return true;
        }
        if (m_pos == m_text.size())
            return false;
        const uint32_t c =
            static_cast<uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(m_text[m_pos++]));
        if (c >= 0x10000 && c <= 0x10FFFF) {
            unit = 0xD800 + ((c - 0x10000) >> 10);
            m_pendingLow = 0xDC00 + ((c - 0x10000) & 0x3FF);
        } else {
            unit = c;
        }
        return true;
    }

private:
    const std::wstring& m_text;
    std::size_t m_pos = 0;
    uint32_t m_pendingLow = 0;
};

bool Utf16Less(const std::wstring& a, const std::wstring& b)
{
    Utf16Units ua(a);
    Utf16Units ub(b);
    for (;;) {
        uint32_t x = 0;
        uint32_t y = 0;
        const bool hasX = ua.Next(x);
        const bool hasY = ub.Next(y);
        if (!hasX || !hasY) {
            if (hasX != hasY)
                return hasY; // the proper prefix first
            break;
        }
        if (x != y)
            return x < y;
    }
    // A code point above U+FFFF and the same pair stored as two lone
    // surrogates give equal units; their raw values keep the order total.
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](wchar_t l, wchar_t r) {
                                            return static_cast<std::make_unsigned_t<wchar_t>>(l) <
                                                   static_cast<std::make_unsigned_t<wchar_t>>(r);
                                        });
}

} // namespace

CSkarvel::CSkarvel() = default;

CSkarvel::~CSkarvel()
{
    // The read thread must end before the handler it runs and m_hid go away.
    m_hid.Close();
    m_serialNumber.clear();
    m_firmware = 0;
    m_params = SSkarvelParams();
}

bool CSkarvel::Connect(const std::wstring& serialNumber)
{
    Disconnect();

    std::vector<SHidDeviceInfo> devices;
    CSimpleHidClass::EnumerateDevices(devices, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID);

    // Only interface 0 streams and takes commands; with several matches the last one wins.
    const SHidDeviceInfo* match = nullptr;
    for (const SHidDeviceInfo& info : devices) {
        if (info.interfaceNumber == 0 && info.serialNumber == serialNumber)
            match = &info;
    }
    if (!match) {
        m_lastError = TEXT_DEVICE_NOT_FOUND;
        return false;
    }
    if (!m_hid.OpenPath(match->path)) {
        m_lastError = m_hid.GetLastError();
        return false;
    }
    m_serialNumber = serialNumber;
    m_firmware = match->releaseNumber;

    const skarvel::Command reset{};
    if (!SendCommand(reset)) {
        Disconnect();
        return false;
    }
    m_params = SSkarvelParams();
    return true;
}

void CSkarvel::Disconnect()
{
    m_hid.Close();
    m_serialNumber.clear();
    m_firmware = 0;
    m_params = SSkarvelParams();
}

bool CSkarvel::IsConnected() const
{
    return m_hid.IsOpen();
}

std::wstring CSkarvel::GetSerialNumber() const
{
    return m_serialNumber;
}

uint16_t CSkarvel::GetFirmware() const
{
    return m_firmware;
}

std::string CSkarvel::GetLastError() const
{
    return m_lastError;
}

bool CSkarvel::SendCommand(const skarvel::Command& command)
{
    // Writing while the thread blocks in a read would wait out its time-out;
    // stopping it first keeps the gap in the stream to one write.
    const bool wasStreaming = m_hid.IsReadThreadRunning();
    if (wasStreaming)
        m_hid.StopReadThread();

    const std::vector<uint8_t> report(command.begin(), command.end());
    const bool written = m_hid.Write(report);
    if (!written)
        m_lastError = m_hid.GetLastError();

    if (wasStreaming && !m_hid.StartReadThread(m_reportHandler, REPORT_LENGTH, READ_TIMEOUT_MS)) {
        m_lastError = m_hid.GetLastError();
        return false;
    }
    return written;
}

bool CSkarvel::SetParams(const SSkarvelParams& params)
{
    if (!IsValid(params)) {
        m_lastError = TEXT_INVALID_PARAMS;
        return false;
    }
    skarvel::Command command{}; // report ID 0, bytes 6 to 8 zero
    command[1] = skarvel::CMD_SET_PARAMS;
    command[2] = params.accelRange;
    command[3] = params.accelFilter;
    command[4] = params.gyroRange;
    command[5] = params.gyroHighPass;
    if (!SendCommand(command))
        return false;
    m_params = params;
    return true;
}

bool CSkarvel::StoreParams()
{
    skarvel::Command command{}; // report ID 0, no payload
    command[1] = skarvel::CMD_STORE_PARAMS;
    return SendCommand(command);
}

const SSkarvelParams& CSkarvel::GetParams() const
{
    return m_params;
}

bool CSkarvel::IsValid(const SSkarvelParams& params)
{
    // Range codes are not checked here: an unknown one converts to zero.
    return skarvel::validFilterBytes(params.accelFilter, params.gyroHighPass);
}

double CSkarvel::ToG(int raw) const
{
    return skarvel::countToUnits(raw, skarvel::accelSensitivity(m_params.accelRange));
}

double CSkarvel::ToDps(int raw) const
{
    return skarvel::countToUnits(raw, skarvel::gyroSensitivity(m_params.gyroRange));
}

bool CSkarvel::StartSensorThread(SampleCallback callback)
{
    m_reportHandler = [callback = std::move(callback)](const std::vector<uint8_t>& report) {
        if (!callback || report.size() < REPORT_LENGTH)
            return;
        SSkarvelSample sample;
        Decode(report, sample);
        callback(sample);
    };
    if (!m_hid.StartReadThread(m_reportHandler, REPORT_LENGTH, READ_TIMEOUT_MS)) {
        m_lastError = m_hid.GetLastError();
        return false;
    }
    return true;
}

void CSkarvel::StopSensorThread()
{
    m_hid.StopReadThread();
}

bool CSkarvel::IsSensorThreadRunning() const
{
    return m_hid.IsReadThreadRunning();
}

bool CSkarvel::ReadSample(SSkarvelSample& sample, int timeoutMs)
{
    if (m_hid.IsReadThreadRunning()) {
        m_lastError = TEXT_THREAD_RUNNING;
        return false;
    }
    std::vector<uint8_t> report;
    if (!m_hid.Read(report, REPORT_LENGTH, timeoutMs)) {
        m_lastError = m_hid.GetLastError();
        return false;
    }
    if (report.size() < REPORT_LENGTH) {
        m_lastError = TEXT_REPORT_TOO_SHORT;
        return false;
    }
    Decode(report, sample);
    return true;
}

bool CSkarvel::ParseJoystickReport(const std::vector<uint8_t>& report, SSkarvelSample& sample)
{
    if (report.size() < REPORT_LENGTH)
        return false;
    Decode(report, sample);
    return true;
}

bool CSkarvel::EnumerateDevices(std::vector<std::wstring>& serialNumbers)
{
    serialNumbers.clear();
    std::vector<SHidDeviceInfo> devices;
    if (!CSimpleHidClass::EnumerateDevices(devices, SKARVEL_VENDOR_ID, SKARVEL_PRODUCT_ID))
        return false;
    serialNumbers.reserve(devices.size());
    for (const SHidDeviceInfo& info : devices)
        serialNumbers.push_back(info.serialNumber);
    std::sort(serialNumbers.begin(), serialNumbers.end(), Utf16Less);
    serialNumbers.erase(std::unique(serialNumbers.begin(), serialNumbers.end()),
                        serialNumbers.end());
    return true;
}
