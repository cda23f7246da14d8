// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// A simulated Skarvel sensor on the simulated hidapi backend.
//
// addSensor() plugs in one sensor: interface 0 (a joystick collection that
// streams 13-byte reports and takes the 9-byte commands) plus further
// interfaces under the same serial number that are listed but never stream.
// CSkarvelModel is interface 0's behaviour; tests steer and inspect it from
// any thread while the backend calls its hooks.
#pragma once

#include "cskarvel.h"
#include "hidsim.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace skarvelsim {

using hidsim::Clock;

enum class EPacing
{
    RealTime, // report k is due at t0 + k / 833 s; reads block until it is due
    Burst,    // every read gets the next report at once
};

// What a burst with a count turns into once its reports are sent.
enum class EAfterBurst
{
    Silence,  // no report until told otherwise
    RealTime, // real-time pacing, the next report due at once: the sensor streams on
};

struct SSensorConfig
{
    // nullopt: the platform reports no serial number (listed as empty).
    std::optional<std::wstring> serialNumber = std::wstring(L"SKV-000001");
    unsigned short firmware = 0x0102; // the release number of every interface
    bool hasInterface0 = true;        // false: only the other interfaces are listed
    int extraInterfaces = 1;          // numbered 1, 2, ...; vendor usage page, silent
    SSkarvelParams powerOnParams;     // what the sensor runs with before any command
    EPacing pacing = EPacing::RealTime;
    std::optional<uint64_t> burstCount; // Burst: this many reports, then silence
    uint32_t seed = 1;                  // motion phases and noise
    // A knock every this many seconds (0: none): a shock of about a g that
    // rings down within a fifth of a second, for trying the trigger.
    double impactPeriodSeconds = 0.0;
};

class CSkarvelModel : public hidsim::DeviceModel
{
public:
    static constexpr int SAMPLE_RATE = 833;
    static constexpr uint64_t HOST_BUFFER_REPORTS = 64; // the host keeps the newest ones
    static constexpr std::size_t REPORT_LENGTH = 13;

    explicit CSkarvelModel(const SSensorConfig& config, Clock::time_point powerOn = Clock::now());

    // --- Control; any thread. Report indices count from power-on; byte 12
    // of report k is k modulo 256.
    // Real-time pacing resumes with the next report due now.
    void setRealTime();
    // Reports as fast as they are read; with a count, only that many more,
    // then `after`.
    void setBurst(std::optional<uint64_t> count = std::nullopt,
                  EAfterBurst after = EAfterBurst::Silence);
    // The cable is pulled when report `index` would be sent, or at `when`.
    void unplugAtReport(uint64_t index);
    void unplugAt(Clock::time_point when);
    // Report `index` arrives cut to `length` bytes.
    void setShortReport(uint64_t index, std::size_t length);

    // --- Inspection; any thread.
    uint64_t nextIndex() const;      // the index the next report will carry
    uint64_t reportsSent() const;    // handed to the host since power-on
    uint64_t reportsDropped() const; // lost because the host did not read in time
    SSkarvelParams params() const;   // in force now
    SSkarvelParams storedParams() const;
    int commandsAccepted() const;
    int commandsIgnored() const; // malformed or with codes the sensor does not know
    bool isOpen() const;
    bool isUnplugged() const;

    // --- hidsim hooks (backend mutex held).
    Poll pollInput(Clock::time_point now, hidsim::Bytes& report, Clock::time_point& due) override;
    bool unpluggedBy(Clock::time_point now) override;
    void onOutputReport(const hidsim::Bytes& data) override;
    void onOpen(Clock::time_point now) override;
    void onClose() override;

private:
    // First-order low pass; a high pass is the input minus its low pass.
    struct SLowPass
    {
        double alpha = 1.0; // 1: passes everything
        double state = 0.0;
        double step(double x) { return state += alpha * (x - state); }
    };
    struct SAxisFilters
    {
        SLowPass lp1;
        SLowPass stage2;
    };

    Clock::time_point dueTimeLocked(uint64_t index) const;
    uint64_t lastDueLocked(Clock::time_point now) const; // newest index due at `now`
    void applyParamsLocked(const SSkarvelParams& params);
    hidsim::Bytes makeReportLocked(uint64_t index);

    mutable std::mutex m_mutex; // guards everything below; taken inside the backend mutex
    EPacing m_pacing;
    std::optional<uint64_t> m_burstLeft;
    EAfterBurst m_afterBurst = EAfterBurst::Silence;
    // Real-time schedule: report m_anchorIndex is due at m_anchorTime.
    Clock::time_point m_anchorTime;
    uint64_t m_anchorIndex = 0;
    uint64_t m_next = 0;
    uint64_t m_sent = 0;
    uint64_t m_dropped = 0;
    std::optional<uint64_t> m_unplugIndex;
    std::optional<Clock::time_point> m_unplugTime;
    std::map<uint64_t, std::size_t> m_shortReports;
    bool m_open = false;
    bool m_unplugged = false;

    SSkarvelParams m_params;
    SSkarvelParams m_storedParams;
    int m_accepted = 0;
    int m_ignored = 0;
    // Accelerometer: LP1, then LP2 or HP; gyroscope: optional HP.
    SAxisFilters m_accelFilters[3];
    SLowPass m_gyroHighPass[3];
    bool m_accelHighPass = false;
    bool m_accelLowPass2 = false;
    bool m_gyroHighPassOn = false;
    bool m_primed = false;
    double m_phases[4] = {};
    uint64_t m_impactPeriod = 0; // in reports; 0: no impacts
    uint64_t m_noiseState = 0;
};

struct SSimSensor
{
    std::shared_ptr<CSkarvelModel> model;
    hidsim::DeviceId interface0 = -1;         // -1 when the sensor lists no interface 0
    std::vector<hidsim::DeviceId> interfaces; // all of them, in plug-in order
};

// Plugs in every interface of one sensor; interface 0 first.
SSimSensor addSensor(const SSensorConfig& config = SSensorConfig());
// Pulls the cable: every interface goes at once.
void unplugSensor(const SSimSensor& sensor);

// Report descriptors of interface 0 and of the other interfaces.
hidsim::Bytes interface0Descriptor();
hidsim::Bytes auxInterfaceDescriptor();

} // namespace skarvelsim
