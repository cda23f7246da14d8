// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// State shared by the simulated hidapi functions (hidsimapi.cpp) and the
// control API (hidsimregistry.cpp). Internal: tests and the demo use hidsim.h.
#pragma once

#include "hidsim.h"

#include <condition_variable>
#include <deque>
#include <list>
#include <mutex>

namespace hidsim::detail {

extern const wchar_t* const NO_ERROR_TEXT;

// Every field guarded by Backend::mutex.
struct DeviceState
{
    DeviceId id = -1;
    DeviceSetup setup;
    bool present = true;
    int openHandles = 0;
    std::deque<Bytes> queue;
    std::vector<Bytes> outputs;
    std::optional<std::wstring> openFailure;
    std::optional<int> writeResult;
    std::wstring writeFailureText;
    std::optional<std::wstring> readFailure;
    int spuriousReadFailures = 0; // the next reads that fail once each
    std::wstring spuriousReadText;
    bool descriptorAvailable = true;
    bool deviceInfoAvailable = true;
    std::optional<int> featureResult;
    std::wstring featureFailureText;
};

// The keeper of texts handed out by hid_error(nullptr): earlier pointers stay
// valid for a while after a newer failure, as a caller may still be copying one.
constexpr std::size_t KEPT_GLOBAL_ERRORS = 64;

struct Backend
{
    std::mutex mutex;
    std::condition_variable inputChanged; // signalled on queue, unplug and output changes
    // All below guarded by mutex.
    std::vector<std::shared_ptr<DeviceState>> devices; // present ones, in plug-in order
    DeviceId nextId = 1;
    std::vector<Call> log;
    bool logReads = false;
    int inits = 0;
    int exits = 0;
    std::list<std::wstring> globalErrors{NO_ERROR_TEXT};
};

Backend& backend();

// All below need Backend::mutex held.
void setGlobalError(Backend& b, std::wstring text);
std::shared_ptr<DeviceState> findLocked(Backend& b, DeviceId id);
void unplugLocked(Backend& b, const std::shared_ptr<DeviceState>& device);
// Also unplugs the other interfaces of the same physical device.
void unplugPhysicalLocked(Backend& b, const std::shared_ptr<DeviceState>& device);
void sweepUnpluggedLocked(Backend& b);
void record(Backend& b, Call call);

} // namespace hidsim::detail
