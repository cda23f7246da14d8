// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The control API of hidsim.h: tests and the demo plug devices in and out,
// script failures and read the call log through it.
#include "hidsim.h"

#include "hidsimbackend.h"

namespace hidsim {

const wchar_t* const UNPLUGGED_READ_ERROR =
    L"hid_read_timeout: unexpected poll error (device disconnected)";
const wchar_t* const UNPLUGGED_WRITE_ERROR = L"No such device";

using detail::backend;
using detail::Backend;
using detail::DeviceState;
using detail::findLocked;
using detail::NO_ERROR_TEXT;
using detail::sweepUnpluggedLocked;
using detail::unplugLocked;

void reset()
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    for (const auto& d : b.devices)
        d->present = false;
    b.devices.clear();
    b.log.clear();
    b.logReads = false;
    b.inits = 0;
    b.exits = 0;
    b.globalErrors.assign(1, NO_ERROR_TEXT);
    b.inputChanged.notify_all();
}

DeviceId addDevice(DeviceSetup setup)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    auto device = std::make_shared<DeviceState>();
    device->id = b.nextId++;
    if (setup.path.empty())
        setup.path = "/dev/hidraw-sim" + std::to_string(device->id);
    device->setup = std::move(setup);
    b.devices.push_back(device);
    return device->id;
}

void removeDevice(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (auto device = findLocked(b, id))
        unplugLocked(b, device);
}

bool isPresent(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    sweepUnpluggedLocked(b);
    return findLocked(b, id) != nullptr;
}

std::string pathOf(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    auto device = findLocked(b, id);
    return device ? device->setup.path : std::string();
}

int openHandleCount(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    auto device = findLocked(b, id);
    return device ? device->openHandles : 0;
}

void queueInput(DeviceId id, Bytes report)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (auto device = findLocked(b, id)) {
        device->queue.push_back(std::move(report));
        b.inputChanged.notify_all();
    }
}

std::size_t queuedInputCount(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    auto device = findLocked(b, id);
    return device ? device->queue.size() : 0;
}

template <typename Change> static void changeDevice(DeviceId id, Change change)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    if (auto device = findLocked(b, id)) {
        change(*device);
        b.inputChanged.notify_all();
    }
}

void setOpenFailure(DeviceId id, std::optional<std::wstring> text)
{
    changeDevice(id, [&](DeviceState& d) { d.openFailure = std::move(text); });
}

void setWriteResult(DeviceId id, std::optional<int> result, std::wstring text)
{
    changeDevice(id, [&](DeviceState& d) {
        d.writeResult = result;
        d.writeFailureText = std::move(text);
    });
}

void setReadFailure(DeviceId id, std::optional<std::wstring> text)
{
    changeDevice(id, [&](DeviceState& d) { d.readFailure = std::move(text); });
}

void failNextReads(DeviceId id, int count, std::wstring text)
{
    changeDevice(id, [&](DeviceState& d) {
        d.spuriousReadFailures = count;
        d.spuriousReadText = std::move(text);
    });
}

void setDescriptorAvailable(DeviceId id, bool available)
{
    changeDevice(id, [&](DeviceState& d) { d.descriptorAvailable = available; });
}

void setDeviceInfoAvailable(DeviceId id, bool available)
{
    changeDevice(id, [&](DeviceState& d) { d.deviceInfoAvailable = available; });
}

void setFeatureResult(DeviceId id, std::optional<int> result, std::wstring text)
{
    changeDevice(id, [&](DeviceState& d) {
        d.featureResult = result;
        d.featureFailureText = std::move(text);
    });
}

std::vector<Call> calls()
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.log;
}

std::vector<Call> callsTo(const std::string& function)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    std::vector<Call> result;
    for (const auto& c : b.log)
        if (c.function == function)
            result.push_back(c);
    return result;
}

void clearCalls()
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.log.clear();
}

void setLogReads(bool enabled)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    b.logReads = enabled;
}

std::vector<Bytes> outputReports(DeviceId id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    auto device = findLocked(b, id);
    return device ? device->outputs : std::vector<Bytes>();
}

int initCount()
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.inits;
}

int exitCount()
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.exits;
}

} // namespace hidsim
