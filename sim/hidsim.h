// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Simulated hidapi backend: implements hidapi's C API (<hidapi.h>) over virtual
// devices, and offers this C++ control API so tests and the demo program can
// plug devices in and out, script failures and inspect every call.
//
// Thread safety: every function here and every hid_* function may be called
// from any thread. One backend mutex guards all state; hid_read_timeout waits
// on a condition variable without holding it, so writes, enumeration and
// control calls proceed while a reader blocks.
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace hidsim {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;
using DeviceId = int;

// Behaviour of a device beyond its static description: where input reports
// come from and what output reports do. Every hook is called with the backend
// mutex held, so a model must not call back into hidsim or hidapi; in return
// a model needs no lock of its own for state touched only by its hooks.
class DeviceModel
{
public:
    virtual ~DeviceModel() = default;

    enum class Poll
    {
        Ready,  // `report` holds the next input report
        NotYet, // nothing before `due` (Clock::time_point::max(): nothing until an output report)
        Unplug, // the device goes away now, as if its cable was pulled
    };

    // Asked by hid_read_timeout whenever the queued reports are used up.
    virtual Poll pollInput(Clock::time_point now, Bytes& report, Clock::time_point& due) = 0;

    // Asked before the backend lists, opens or writes to the device: true when
    // the device has gone by `now` although nobody was reading from it.
    virtual bool unpluggedBy(Clock::time_point /*now*/) { return false; }

    // An output report exactly as hid_write got it (byte 0 is the report ID).
    // Called only when no write failure is scripted for the device.
    virtual void onOutputReport(const Bytes& /*data*/) {}

    // The device was opened (the first handle) or closed (the last handle).
    virtual void onOpen(Clock::time_point /*now*/) {}
    virtual void onClose() {}
};

// One HID interface as the host sees it. Each physical device with several
// interfaces is added once per interface, with the same serial number.
struct DeviceSetup
{
    std::string path; // empty: the backend assigns a unique one
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    std::optional<std::wstring> serialNumber; // nullopt: the library reports none
    std::optional<std::wstring> manufacturer;
    std::optional<std::wstring> product;
    unsigned short releaseNumber = 0;
    unsigned short usagePage = 0;
    unsigned short usage = 0;
    int interfaceNumber = -1;
    Bytes reportDescriptor;
    std::map<int, std::wstring> indexedStrings;
    std::map<unsigned char, Bytes> featureReports; // by report ID; byte 0 is the report ID
    std::shared_ptr<DeviceModel> model;            // null: input comes only from queueInput
    // Interfaces of one physical device share a non-zero value: when a model
    // unplugs its interface, the others leave with it, as with a pulled cable.
    int physicalDevice = 0;
};

// One hid_* call as the backend saw it. Fields a function has no use for keep
// their defaults.
struct Call
{
    std::string function;
    DeviceId device = -1; // the handle's device, -1 for none
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    std::optional<std::wstring> serialNumber; // hid_open: nullopt when it got a null pointer
    std::string path;                         // hid_open_path
    Bytes data;                               // bytes written (write, send feature)
    std::size_t length = 0;                   // the length or buffer size argument
    int timeout = 0;                          // hid_read_timeout
    int index = 0;                            // hid_get_indexed_string
    int result = 0;                           // the value returned (pointers: 1 non-null, 0 null)
};

// Removes every device, fault and log entry and zeroes the init/exit counters.
// Handles still open become unplugged handles: their reads fail.
void reset();

DeviceId addDevice(DeviceSetup setup);
// Unplugs the device: open handles fail their reads and writes at once, and
// enumeration no longer lists it. Unknown or already removed ids are ignored.
void removeDevice(DeviceId id);
bool isPresent(DeviceId id);
std::string pathOf(DeviceId id);
// Number of hid_device handles currently open on the device.
int openHandleCount(DeviceId id);

// Input reports delivered before anything the device model produces.
void queueInput(DeviceId id, Bytes report);
std::size_t queuedInputCount(DeviceId id);

// --- Scripted failures; nullopt (or true) restores normal behaviour.
void setOpenFailure(DeviceId id, std::optional<std::wstring> text);
// hid_write returns `result` (a short or long count, or -1) with `text` as the
// device's error; the model does not see the report.
void setWriteResult(DeviceId id, std::optional<int> result,
                    std::wstring text = L"Simulated write failure");
// hid_read_timeout fails at once with `text` while set.
void setReadFailure(DeviceId id, std::optional<std::wstring> text);
// The next `count` calls of hid_read_timeout fail at once with `text`, as a
// spurious error does; later reads behave normally.
void failNextReads(DeviceId id, int count, std::wstring text = L"Interrupted system call");
void setDescriptorAvailable(DeviceId id, bool available);
void setDeviceInfoAvailable(DeviceId id, bool available);
// hid_send_feature_report / hid_get_feature_report return `result` (-1: failure).
void setFeatureResult(DeviceId id, std::optional<int> result,
                      std::wstring text = L"Simulated feature report failure");

// --- Inspection
std::vector<Call> calls();
std::vector<Call> callsTo(const std::string& function);
void clearCalls();
// hid_read_timeout runs hundreds of times a second while streaming; it is
// logged only when asked for.
void setLogReads(bool enabled);
// Every output report hid_write accepted for the device, in order.
std::vector<Bytes> outputReports(DeviceId id);
int initCount(); // successful hid_init calls since the last reset
int exitCount();

// Text hid_read_timeout and hid_write give on an unplugged device, as the
// Linux hidraw backend words them.
extern const wchar_t* const UNPLUGGED_READ_ERROR;
extern const wchar_t* const UNPLUGGED_WRITE_ERROR;

} // namespace hidsim
