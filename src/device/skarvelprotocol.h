// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// What the Skarvel is, in one place: its sample rate, the sizes of its input
// report and command report, the axis zero, the range codes with their full
// scales and sensitivities, and the bits of its filter bytes. CSkarvel speaks
// this protocol; the window and the measurement session only read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace skarvel {

// The sensor's output rate, taken as fixed (samples per second).
constexpr double SAMPLE_RATE = 833.0;

constexpr std::size_t REPORT_LENGTH = 13; // six little-endian axis words, one further byte
constexpr std::size_t COMMAND_LENGTH = 9; // report ID 0, command code, up to seven payload bytes
using Command = std::array<uint8_t, COMMAND_LENGTH>;
constexpr uint8_t CMD_SET_PARAMS = 0x00;
constexpr uint8_t CMD_STORE_PARAMS = 0x01;

// A report's unsigned axis word minus this is the signed count.
constexpr int AXIS_ZERO = 0x7FFF;

// One measuring range: the code the sensor takes, the full scale (g or dps)
// and the sensitivity (mg or mdps per count).
struct SRange
{
    uint8_t code;
    double fullScale;
    double sensitivity;
};

// In the order the settings panel lists them.
constexpr SRange ACCEL_RANGES[] = {
    {0, 2.0, 0.061}, {2, 4.0, 0.122}, {3, 8.0, 0.244}, {1, 16.0, 0.488}};
constexpr SRange GYRO_RANGES[] = {
    {1, 125.0, 4.375}, {0, 245.0, 8.75}, {2, 500.0, 17.5}, {4, 1000.0, 35.0}, {6, 2000.0, 70.0}};

// The entry for a code; a code the sensor does not know has zero scales.
template <std::size_t N> constexpr SRange findRange(const SRange (&table)[N], uint8_t code)
{
    for (const SRange& range : table) {
        if (range.code == code)
            return range;
    }
    return {code, 0.0, 0.0};
}

constexpr double accelSensitivity(uint8_t code)
{
    return findRange(ACCEL_RANGES, code).sensitivity;
}
constexpr double gyroSensitivity(uint8_t code)
{
    return findRange(GYRO_RANGES, code).sensitivity;
}
constexpr double accelFullScale(uint8_t code)
{
    return findRange(ACCEL_RANGES, code).fullScale;
}
constexpr double gyroFullScale(uint8_t code)
{
    return findRange(GYRO_RANGES, code).fullScale;
}

// A count in g or dps, given the range's sensitivity per count in milli-units.
inline double countToUnits(int raw, double sensitivity)
{
    return static_cast<double>(raw) * sensitivity / 1000.0;
}

// The accelerometer filter byte. Bits 7 and 6 choose the mode (LP1 only,
// LP1 + LP2, LP1 + HP); bits 1 and 0 the LP2 or HP cutoff; bit 5 the narrow
// LP1 bandwidth in LP1-only mode and low latency in LP2 mode.
constexpr uint8_t ACCEL_FILTER_LP1 = 0x00;
constexpr uint8_t ACCEL_FILTER_LP2 = 0x80;
constexpr uint8_t ACCEL_FILTER_HP = 0xC0;
constexpr uint8_t ACCEL_FILTER_HP_BIT = 0x40;
constexpr uint8_t ACCEL_FILTER_LP1_NARROW = 0x20; // also low latency in LP2 mode
constexpr uint8_t ACCEL_FILTER_CUTOFF_MASK = 0x03;
constexpr uint8_t ACCEL_FILTER_RESERVED = 0x1C;

// The gyroscope high-pass byte: bit 7 on, bits 1 and 0 the cutoff.
constexpr uint8_t GYRO_HP_ON = 0x80;
constexpr uint8_t GYRO_HP_RESERVED = 0x7C;

// The accelerometer filter byte as the settings panel shows it.
struct SAccelFilter
{
    uint8_t mode;   // ACCEL_FILTER_LP1, _LP2 or _HP
    uint8_t cutoff; // the cutoff bits in LP2 and HP mode, the bandwidth bit in LP1 mode
    bool lowLatency;
};

constexpr SAccelFilter decodeAccelFilter(uint8_t bits)
{
    const uint8_t mode =
        (bits & ACCEL_FILTER_HP_BIT) ? ACCEL_FILTER_HP : uint8_t(bits & ACCEL_FILTER_LP2);
    const uint8_t cutoff = mode != ACCEL_FILTER_LP1 ? uint8_t(bits & ACCEL_FILTER_CUTOFF_MASK)
                                                    : uint8_t(bits & ACCEL_FILTER_LP1_NARROW);
    return {mode, cutoff, mode == ACCEL_FILTER_LP2 && (bits & ACCEL_FILTER_LP1_NARROW) != 0};
}

// Low latency counts only in LP2 mode; elsewhere the cutoff carries bit 5.
constexpr uint8_t encodeAccelFilter(const SAccelFilter& filter)
{
    uint8_t bits = uint8_t(filter.mode | filter.cutoff);
    if (filter.mode == ACCEL_FILTER_LP2 && filter.lowLatency)
        bits |= ACCEL_FILTER_LP1_NARROW;
    return bits;
}

// Reserved bits clear, and no bandwidth or low-latency bit next to the high pass.
constexpr bool validFilterBytes(uint8_t accelFilter, uint8_t gyroHighPass)
{
    return (accelFilter & ACCEL_FILTER_RESERVED) == 0 && (gyroHighPass & GYRO_HP_RESERVED) == 0 &&
           (accelFilter & (ACCEL_FILTER_HP_BIT | ACCEL_FILTER_LP1_NARROW)) !=
               (ACCEL_FILTER_HP_BIT | ACCEL_FILTER_LP1_NARROW);
}

} // namespace skarvel
