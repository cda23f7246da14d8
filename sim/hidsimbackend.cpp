// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The one backend instance and the helpers that change it under its mutex.
#include "hidsimbackend.h"

#include <algorithm>

namespace hidsim::detail {

const wchar_t* const NO_ERROR_TEXT = L"Success";

Backend& backend()
{
    static Backend instance;
    return instance;
}

void setGlobalError(Backend& b, std::wstring text)
{
    b.globalErrors.push_back(std::move(text));
    if (b.globalErrors.size() > KEPT_GLOBAL_ERRORS)
        b.globalErrors.pop_front();
}

std::shared_ptr<DeviceState> findLocked(Backend& b, DeviceId id)
{
    for (const auto& d : b.devices)
        if (d->id == id)
            return d;
    return nullptr;
}

void unplugLocked(Backend& b, const std::shared_ptr<DeviceState>& device)
{
    device->present = false;
    b.devices.erase(std::remove(b.devices.begin(), b.devices.end(), device), b.devices.end());
    b.inputChanged.notify_all();
}

void unplugPhysicalLocked(Backend& b, const std::shared_ptr<DeviceState>& device)
{
    const int physical = device->setup.physicalDevice;
    if (physical != 0) {
        const auto siblings = b.devices;
        for (const auto& d : siblings)
            if (d != device && d->setup.physicalDevice == physical)
                unplugLocked(b, d);
    }
    unplugLocked(b, device);
}

// A model may have gone on its own (a timed unplug) while nobody read from it.
void sweepUnpluggedLocked(Backend& b)
{
    const auto now = Clock::now();
    const auto devices = b.devices;
    for (const auto& d : devices)
        if (d->present && d->setup.model && d->setup.model->unpluggedBy(now))
            unplugPhysicalLocked(b, d);
}

void record(Backend& b, Call call)
{
    b.log.push_back(std::move(call));
}

} // namespace hidsim::detail
