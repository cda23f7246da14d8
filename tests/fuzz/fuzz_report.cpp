// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Input reports of any length, decoded directly and through the transport's
// read: both must agree and round-trip to the report's first 13 bytes.
#include "cskarvel.h"
#include "hidsim.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

const std::size_t REPORT_LENGTH = 13;

bool Same(const SSkarvelSample& a, const SSkarvelSample& b)
{
    return a.accelX == b.accelX && a.accelY == b.accelY && a.accelZ == b.accelZ &&
           a.gyroX == b.gyroX && a.gyroY == b.gyroY && a.gyroZ == b.gyroZ &&
           a.extraByte == b.extraByte;
}

SSkarvelSample Marker()
{
    SSkarvelSample s;
    s.accelX = s.accelY = s.accelZ = s.gyroX = s.gyroY = s.gyroZ = 1234567;
    s.extraByte = 0x5A;
    return s;
}

std::vector<std::uint8_t> Encode(const SSkarvelSample& s)
{
    std::vector<std::uint8_t> out;
    for (int value : {s.accelX, s.accelY, s.accelZ, s.gyroX, s.gyroY, s.gyroZ}) {
        if (value < -32767 || value > 32768)
            std::abort();
        const int wire = value + 32767;
        out.push_back(static_cast<std::uint8_t>(wire & 0xFF));
        out.push_back(static_cast<std::uint8_t>(wire >> 8));
    }
    out.push_back(s.extraByte);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CSkarvel sensor;

    const std::vector<std::uint8_t> report(data, data + size);
    SSkarvelSample direct = Marker();
    const bool parsed = CSkarvel::ParseJoystickReport(report, direct);
    if (parsed != (size >= REPORT_LENGTH))
        std::abort();
    if (!parsed) {
        if (!Same(direct, Marker()))
            std::abort();
    } else if (Encode(direct) != std::vector<std::uint8_t>(data, data + REPORT_LENGTH)) {
        std::abort();
    }

    // The same bytes as the sensor's interface 0 delivers them.
    hidsim::DeviceSetup setup;
    setup.vendorId = SKARVEL_VENDOR_ID;
    setup.productId = SKARVEL_PRODUCT_ID;
    setup.serialNumber = std::wstring(L"FUZZ");
    setup.interfaceNumber = 0;
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    if (!sensor.Connect(L"FUZZ"))
        std::abort();
    // An empty report is no report at all to the library.
    if (size > 0)
        hidsim::queueInput(id, report);
    SSkarvelSample read = Marker();
    const bool ok = sensor.ReadSample(read, 0);
    if (ok != parsed || !Same(read, direct))
        std::abort();
    sensor.Disconnect();
    hidsim::reset();
    return 0;
}
