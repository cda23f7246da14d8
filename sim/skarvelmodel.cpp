// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "skarvelmodel.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <iterator>

namespace skarvelsim {

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr double RAD_TO_DEG = 180.0 / PI;

// The sensor's side of the protocol, kept apart from src/skarvelprotocol.h on
// purpose: the simulated device checks the host against its own copy of the
// data sheet, so a wrong table in the program cannot agree with itself here.
// Sensitivities as the data sheet gives them: mg and mdps per count.
// Zero marks a code the sensor does not know.
constexpr double ACCEL_MG_PER_COUNT[] = {0.061, 0.488, 0.122, 0.244};
constexpr double GYRO_MDPS_PER_COUNT[] = {8.75, 4.375, 17.5, 0.0, 35.0, 0.0, 70.0};

constexpr double LP1_WIDE_HZ = 416.5;
constexpr double LP1_NARROW_HZ = 208.25;
constexpr double ACCEL_LP2_HZ[] = {16.66, 8.33, 92.56, 2.08};
constexpr double ACCEL_HP_HZ[] = {208.25, 8.33, 92.56, 2.08};
constexpr double GYRO_HP_HZ[] = {0.016, 0.065, 0.26, 1.04};

constexpr uint8_t FILTER_STAGE2 = 0x80;
constexpr uint8_t FILTER_HIGH_PASS = 0x40;
constexpr uint8_t FILTER_LP1_NARROW = 0x20;
constexpr uint8_t GYRO_HP_ON = 0x80;

constexpr uint8_t CMD_SET_PARAMS = 0x00;
constexpr uint8_t CMD_STORE_PARAMS = 0x01;
constexpr std::size_t COMMAND_LENGTH = 9;

// The motion the simulated sensor goes through: tilted slowly back and forth
// on a table that vibrates, with a gyroscope that has a small zero-rate offset.
constexpr double TILT_X_RAD = 0.25;
constexpr double TILT_X_HZ = 0.05;
constexpr double TILT_Y_RAD = 0.15;
constexpr double TILT_Y_HZ = 0.08;
constexpr double YAW_DPS = 2.0;
constexpr double YAW_HZ = 0.02;
constexpr double VIBRATION_HZ = 6.5;
constexpr double VIBRATION_G[] = {0.04, 0.03, 0.05};
constexpr double VIBRATION_DPS[] = {1.2, 0.9, 0.6};
constexpr double GYRO_OFFSET_DPS[] = {0.6, -0.4, 0.25};
constexpr double ACCEL_NOISE_G = 0.0012;
// A knock: a damped ring, strongest along Z, with a twist of the rates.
constexpr double IMPACT_G[] = {0.6, -0.4, 0.9};
constexpr double IMPACT_DPS[] = {90.0, -140.0, 60.0};
constexpr double IMPACT_RING_HZ = 38.0;
constexpr double IMPACT_DECAY_S = 0.035;
constexpr double IMPACT_LENGTH_S = 0.25;
constexpr double GYRO_NOISE_DPS = 0.07;

constexpr int32_t COUNT_MIN = -32767;
constexpr int32_t COUNT_MAX = 32768;
constexpr int32_t REPORT_ZERO = 0x7FFF;

double alphaFor(double cutoffHz)
{
    return 1.0 - std::exp(-2.0 * PI * cutoffHz / CSkarvelModel::SAMPLE_RATE);
}

bool knownRanges(const SSkarvelParams& p)
{
    return p.accelRange < std::size(ACCEL_MG_PER_COUNT) && ACCEL_MG_PER_COUNT[p.accelRange] > 0.0 &&
           p.gyroRange < std::size(GYRO_MDPS_PER_COUNT) && GYRO_MDPS_PER_COUNT[p.gyroRange] > 0.0;
}

// What the sensor itself refuses: reserved filter bits, a bandwidth or
// low-latency bit next to the high pass, range codes it has no scale for.
bool acceptable(const SSkarvelParams& p)
{
    return (p.accelFilter & 0x1C) == 0 && (p.gyroHighPass & 0x7C) == 0 &&
           (p.accelFilter & (FILTER_HIGH_PASS | FILTER_LP1_NARROW)) !=
               (FILTER_HIGH_PASS | FILTER_LP1_NARROW) &&
           knownRanges(p);
}

int32_t toCounts(double value, double unitsPerCount)
{
    const double counts = std::round(value * 1000.0 / unitsPerCount);
    return static_cast<int32_t>(std::clamp(counts, double(COUNT_MIN), double(COUNT_MAX)));
}

void putAxis(hidsim::Bytes& report, std::size_t axis, int32_t counts)
{
    const auto value = static_cast<uint16_t>(counts + REPORT_ZERO);
    report[2 * axis] = static_cast<unsigned char>(value & 0xFF);
    report[2 * axis + 1] = static_cast<unsigned char>(value >> 8);
}

} // namespace

CSkarvelModel::CSkarvelModel(const SSensorConfig& config, Clock::time_point powerOn)
    : m_pacing(config.pacing), m_anchorTime(powerOn)
{
    if (config.impactPeriodSeconds > 0.0)
        m_impactPeriod =
            std::max<uint64_t>(1, uint64_t(std::llround(config.impactPeriodSeconds * SAMPLE_RATE)));
    if (m_pacing == EPacing::Burst)
        m_burstLeft = config.burstCount;
    m_noiseState = 0x9E3779B97F4A7C15ull ^ (uint64_t(config.seed) * 0xBF58476D1CE4E5B9ull);
    for (double& phase : m_phases) {
        m_noiseState ^= m_noiseState >> 12;
        m_noiseState ^= m_noiseState << 25;
        m_noiseState ^= m_noiseState >> 27;
        phase = double(m_noiseState % 6283) / 1000.0;
    }
    const SSkarvelParams start =
        acceptable(config.powerOnParams) ? config.powerOnParams : SSkarvelParams();
    m_storedParams = start;
    applyParamsLocked(start);
}

void CSkarvelModel::setRealTime()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_pacing == EPacing::RealTime)
        return;
    m_pacing = EPacing::RealTime;
    m_burstLeft.reset();
    m_anchorTime = Clock::now();
    m_anchorIndex = m_next;
}

void CSkarvelModel::setBurst(std::optional<uint64_t> count, EAfterBurst after)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pacing = EPacing::Burst;
    m_burstLeft = count;
    m_afterBurst = after;
}

void CSkarvelModel::unplugAtReport(uint64_t index)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugIndex = index;
}

void CSkarvelModel::unplugAt(Clock::time_point when)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_unplugTime = when;
}

void CSkarvelModel::setShortReport(uint64_t index, std::size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shortReports[index] = std::min(length, REPORT_LENGTH);
}

uint64_t CSkarvelModel::nextIndex() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_next;
}

uint64_t CSkarvelModel::reportsSent() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sent;
}

uint64_t CSkarvelModel::reportsDropped() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_dropped;
}

SSkarvelParams CSkarvelModel::params() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_params;
}

SSkarvelParams CSkarvelModel::storedParams() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_storedParams;
}

int CSkarvelModel::commandsAccepted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_accepted;
}

int CSkarvelModel::commandsIgnored() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ignored;
}

bool CSkarvelModel::isOpen() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_open;
}

bool CSkarvelModel::isUnplugged() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_unplugged;
}

Clock::time_point CSkarvelModel::dueTimeLocked(uint64_t index) const
{
    // Rounded up, so that a report is never due before its exact time.
    const uint64_t steps = index - m_anchorIndex;
    const uint64_t ns = (steps * 1000000000ull + SAMPLE_RATE - 1) / SAMPLE_RATE;
    return m_anchorTime + std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(ns));
}

uint64_t CSkarvelModel::lastDueLocked(Clock::time_point now) const
{
    // One past the newest report due at `now`.
    if (now < m_anchorTime)
        return m_anchorIndex;
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_anchorTime).count();
    return m_anchorIndex + uint64_t(elapsed) * SAMPLE_RATE / 1000000000ull + 1;
}

CSkarvelModel::Poll CSkarvelModel::pollInput(Clock::time_point now, hidsim::Bytes& report,
                                             Clock::time_point& due)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugged || (m_unplugTime && now >= *m_unplugTime)) {
        m_unplugged = true;
        return Poll::Unplug;
    }
    const Clock::time_point wakeForUnplug = m_unplugTime.value_or(Clock::time_point::max());

    if (m_pacing == EPacing::Burst && m_burstLeft && *m_burstLeft == 0 &&
        m_afterBurst == EAfterBurst::RealTime) {
        m_pacing = EPacing::RealTime;
        m_burstLeft.reset();
        m_anchorTime = now;
        m_anchorIndex = m_next;
    }
    if (m_pacing == EPacing::RealTime) {
        // The sensor sends whether or not anyone reads; the host's buffer
        // keeps only the newest reports.
        const uint64_t dueEnd = lastDueLocked(now);
        if (dueEnd > m_next + HOST_BUFFER_REPORTS) {
            m_dropped += dueEnd - HOST_BUFFER_REPORTS - m_next;
            m_next = dueEnd - HOST_BUFFER_REPORTS;
        }
        if (m_next >= dueEnd) {
            due = std::min(dueTimeLocked(m_next), wakeForUnplug);
            return Poll::NotYet;
        }
    } else if (m_burstLeft && *m_burstLeft == 0) {
        due = wakeForUnplug;
        return Poll::NotYet;
    }

    if (m_unplugIndex && m_next >= *m_unplugIndex) {
        m_unplugged = true;
        return Poll::Unplug;
    }
    report = makeReportLocked(m_next++);
    ++m_sent;
    if (m_burstLeft)
        --*m_burstLeft;
    return Poll::Ready;
}

bool CSkarvelModel::unpluggedBy(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_unplugTime && now >= *m_unplugTime)
        m_unplugged = true;
    return m_unplugged;
}

void CSkarvelModel::onOutputReport(const hidsim::Bytes& data)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (data.size() != COMMAND_LENGTH || data[0] != 0) {
        ++m_ignored;
        return;
    }
    if (data[1] == CMD_SET_PARAMS) {
        const SSkarvelParams params{data[2], data[3], data[4], data[5]};
        if (!acceptable(params)) {
            ++m_ignored;
            return;
        }
        applyParamsLocked(params);
    } else if (data[1] == CMD_STORE_PARAMS) {
        m_storedParams = m_params;
    } else {
        ++m_ignored;
        return;
    }
    ++m_accepted;
}

void CSkarvelModel::onOpen(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = true;
    // Reports sent before the device was opened reached nobody.
    if (m_pacing == EPacing::RealTime)
        m_next = std::max(m_next, lastDueLocked(now));
}

void CSkarvelModel::onClose()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_open = false;
}

void CSkarvelModel::applyParamsLocked(const SSkarvelParams& params)
{
    const uint8_t mode = params.accelFilter & (FILTER_STAGE2 | FILTER_HIGH_PASS);
    const bool lowPass2 = mode == FILTER_STAGE2;
    const bool highPass = mode == (FILTER_STAGE2 | FILTER_HIGH_PASS);
    const bool lp1Narrow = mode == 0 && (params.accelFilter & FILTER_LP1_NARROW) != 0;
    const std::size_t cutoff = params.accelFilter & 0x03;
    const bool gyroHighPass = (params.gyroHighPass & GYRO_HP_ON) != 0;

    for (SAxisFilters& f : m_accelFilters) {
        f.lp1.alpha = alphaFor(lp1Narrow ? LP1_NARROW_HZ : LP1_WIDE_HZ);
        if (lowPass2)
            f.stage2.alpha = alphaFor(ACCEL_LP2_HZ[cutoff]);
        else if (highPass)
            f.stage2.alpha = alphaFor(ACCEL_HP_HZ[cutoff]);
        // A second stage that is switched in starts settled on the current
        // signal instead of ringing from zero.
        if ((lowPass2 || highPass) && !(m_accelLowPass2 || m_accelHighPass))
            f.stage2.state = f.lp1.state;
    }
    // The gyroscope's state holds the latest rate while its high pass is off,
    // so switching it on starts from zero output rather than a jump.
    for (SLowPass& f : m_gyroHighPass)
        f.alpha = gyroHighPass ? alphaFor(GYRO_HP_HZ[params.gyroHighPass & 0x03]) : 1.0;
    m_accelLowPass2 = lowPass2;
    m_accelHighPass = highPass;
    m_gyroHighPassOn = gyroHighPass;
    m_params = params;
}

hidsim::Bytes CSkarvelModel::makeReportLocked(uint64_t index)
{
    auto noise = [this]() {
        // xorshift64*, summed to a bell shape with unit standard deviation.
        double sum = 0.0;
        for (int i = 0; i < 4; ++i) {
            m_noiseState ^= m_noiseState >> 12;
            m_noiseState ^= m_noiseState << 25;
            m_noiseState ^= m_noiseState >> 27;
            sum += double((m_noiseState * 0x2545F4914F6CDD1Dull) >> 11) * 0x1.0p-53;
        }
        return (sum - 2.0) * std::sqrt(3.0);
    };

    const double t = double(index) / SAMPLE_RATE;
    const double w = 2.0 * PI;
    const double tiltX = TILT_X_RAD * std::sin(w * TILT_X_HZ * t + m_phases[0]);
    const double tiltY = TILT_Y_RAD * std::sin(w * TILT_Y_HZ * t + m_phases[1]);
    const double vibration = w * VIBRATION_HZ * t + m_phases[3];

    const double gravity[3] = {-std::sin(tiltY), std::sin(tiltX) * std::cos(tiltY),
                               std::cos(tiltX) * std::cos(tiltY)};
    // The first knock half a period after power-on, then one each period.
    double knock = 0.0;
    double twist = 0.0;
    if (m_impactPeriod > 0) {
        const double since = double((index + m_impactPeriod / 2) % m_impactPeriod) / SAMPLE_RATE;
        if (since < IMPACT_LENGTH_S) {
            const double envelope = std::exp(-since / IMPACT_DECAY_S);
            knock = envelope * std::sin(w * IMPACT_RING_HZ * since);
            twist = envelope * std::sin(w * IMPACT_RING_HZ * since + 0.6);
        }
    }
    const double rate[3] = {
        TILT_X_RAD * w * TILT_X_HZ * std::cos(w * TILT_X_HZ * t + m_phases[0]) * RAD_TO_DEG,
        TILT_Y_RAD * w * TILT_Y_HZ * std::cos(w * TILT_Y_HZ * t + m_phases[1]) * RAD_TO_DEG,
        YAW_DPS * std::sin(w * YAW_HZ * t + m_phases[2])};

    hidsim::Bytes report(REPORT_LENGTH, 0);
    const double accelScale = ACCEL_MG_PER_COUNT[m_params.accelRange];
    const double gyroScale = GYRO_MDPS_PER_COUNT[m_params.gyroRange];
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const double a = gravity[axis] + VIBRATION_G[axis] * std::sin(vibration + 1.1 * axis) +
                         IMPACT_G[axis] * knock + ACCEL_NOISE_G * noise();
        SAxisFilters& f = m_accelFilters[axis];
        if (!m_primed) {
            // Filters settled on the signal, as after the sensor's start-up.
            f.lp1.state = a;
            f.stage2.state = a;
        }
        double out = f.lp1.step(a);
        if (m_accelLowPass2)
            out = f.stage2.step(out);
        else if (m_accelHighPass)
            out -= f.stage2.step(out);
        putAxis(report, axis, toCounts(out, accelScale));

        const double g = rate[axis] + GYRO_OFFSET_DPS[axis] +
                         VIBRATION_DPS[axis] * std::cos(vibration + 0.7 * axis) +
                         IMPACT_DPS[axis] * twist + GYRO_NOISE_DPS * noise();
        double gyro = g;
        if (m_gyroHighPassOn)
            gyro -= m_gyroHighPass[axis].step(g);
        else
            m_gyroHighPass[axis].state = g; // ready to start from the current rate
        putAxis(report, 3 + axis, toCounts(gyro, gyroScale));
    }
    m_primed = true;
    report[12] = static_cast<unsigned char>(index & 0xFF);

    if (auto it = m_shortReports.find(index); it != m_shortReports.end())
        report.resize(it->second);
    return report;
}

hidsim::Bytes interface0Descriptor()
{
    return {
        0x05, 0x01,                         // Usage Page (Generic Desktop)
        0x09, 0x04,                         // Usage (Joystick)
        0xA1, 0x01,                         // Collection (Application)
        0x09, 0x30, 0x09, 0x31, 0x09, 0x32, //   Usage (X, Y, Z)
        0x09, 0x33, 0x09, 0x34, 0x09, 0x35, //   Usage (Rx, Ry, Rz)
        0x15, 0x00,                         //   Logical Minimum (0)
        0x27, 0xFF, 0xFF, 0x00, 0x00,       //   Logical Maximum (65535)
        0x75, 0x10,                         //   Report Size (16)
        0x95, 0x06,                         //   Report Count (6)
        0x81, 0x02,                         //   Input (Data, Variable, Absolute)
        0x06, 0x00, 0xFF,                   //   Usage Page (Vendor Defined 0xFF00)
        0x09, 0x01,                         //   Usage (1): sequence number
        0x26, 0xFF, 0x00,                   //   Logical Maximum (255)
        0x75, 0x08,                         //   Report Size (8)
        0x95, 0x01,                         //   Report Count (1)
        0x81, 0x02,                         //   Input (Data, Variable, Absolute)
        0x09, 0x02,                         //   Usage (2): command
        0x95, 0x08,                         //   Report Count (8)
        0x91, 0x02,                         //   Output (Data, Variable, Absolute)
        0xC0,                               // End Collection
    };
}

hidsim::Bytes auxInterfaceDescriptor()
{
    return {
        0x06, 0x00, 0xFF, // Usage Page (Vendor Defined 0xFF00)
        0x09, 0x01,       // Usage (1)
        0xA1, 0x01,       // Collection (Application)
        0x09, 0x02,       //   Usage (2)
        0x15, 0x00,       //   Logical Minimum (0)
        0x26, 0xFF, 0x00, //   Logical Maximum (255)
        0x75, 0x08,       //   Report Size (8)
        0x95, 0x40,       //   Report Count (64)
        0x81, 0x02,       //   Input (Data, Variable, Absolute)
        0x09, 0x03,       //   Usage (3)
        0x91, 0x02,       //   Output (Data, Variable, Absolute)
        0xC0,             // End Collection
    };
}

SSimSensor addSensor(const SSensorConfig& config)
{
    SSimSensor sensor;
    sensor.model = std::make_shared<CSkarvelModel>(config);

    hidsim::DeviceSetup base;
    base.vendorId = SKARVEL_VENDOR_ID;
    base.productId = SKARVEL_PRODUCT_ID;
    base.serialNumber = config.serialNumber;
    base.manufacturer = std::wstring(L"Skarvel");
    base.product = std::wstring(L"Skarvel Inertial Sensor");
    base.releaseNumber = config.firmware;
    static std::atomic<int> nextPhysicalDevice{1};
    base.physicalDevice = nextPhysicalDevice++;
    base.indexedStrings[1] = *base.manufacturer;
    base.indexedStrings[2] = *base.product;
    if (config.serialNumber)
        base.indexedStrings[3] = *config.serialNumber;

    if (config.hasInterface0) {
        hidsim::DeviceSetup iface = base;
        iface.usagePage = 0x0001; // Generic Desktop
        iface.usage = 0x0004;     // Joystick
        iface.interfaceNumber = 0;
        iface.reportDescriptor = interface0Descriptor();
        iface.model = sensor.model;
        sensor.interface0 = hidsim::addDevice(std::move(iface));
        sensor.interfaces.push_back(sensor.interface0);
    }
    for (int i = 1; i <= config.extraInterfaces; ++i) {
        hidsim::DeviceSetup iface = base;
        iface.usagePage = 0xFF00;
        iface.usage = 0x0001;
        iface.interfaceNumber = i;
        iface.reportDescriptor = auxInterfaceDescriptor();
        sensor.interfaces.push_back(hidsim::addDevice(std::move(iface)));
    }
    return sensor;
}

void unplugSensor(const SSimSensor& sensor)
{
    for (hidsim::DeviceId id : sensor.interfaces)
        hidsim::removeDevice(id);
}

} // namespace skarvelsim
