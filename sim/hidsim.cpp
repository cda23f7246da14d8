// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Simulated hidapi backend. See hidsim.h for the control API and its rules.
#include "hidsim.h"

#include <hidapi.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>

namespace hidsim {

const wchar_t* const UNPLUGGED_READ_ERROR =
    L"hid_read_timeout: unexpected poll error (device disconnected)";
const wchar_t* const UNPLUGGED_WRITE_ERROR = L"No such device";

namespace {

const wchar_t* const NO_ERROR_TEXT = L"Success";
const wchar_t* const NOT_SUPPORTED = L"Not supported by the simulated backend";

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

wchar_t* copyWide(const std::optional<std::wstring>& text)
{
    if (!text)
        return nullptr;
    auto* copy = new wchar_t[text->size() + 1];
    std::wmemcpy(copy, text->c_str(), text->size() + 1);
    return copy;
}

hid_device_info* makeInfo(const DeviceSetup& setup)
{
    auto* info = new hid_device_info{};
    info->path = new char[setup.path.size() + 1];
    std::memcpy(info->path, setup.path.c_str(), setup.path.size() + 1);
    info->vendor_id = setup.vendorId;
    info->product_id = setup.productId;
    info->serial_number = copyWide(setup.serialNumber);
    info->release_number = setup.releaseNumber;
    info->manufacturer_string = copyWide(setup.manufacturer);
    info->product_string = copyWide(setup.product);
    info->usage_page = setup.usagePage;
    info->usage = setup.usage;
    info->interface_number = setup.interfaceNumber;
    info->next = nullptr;
    info->bus_type = HID_API_BUS_USB;
    return info;
}

void freeInfo(hid_device_info* info)
{
    delete[] info->path;
    delete[] info->serial_number;
    delete[] info->manufacturer_string;
    delete[] info->product_string;
    delete info;
}

void record(Backend& b, Call call)
{
    b.log.push_back(std::move(call));
}

} // namespace
} // namespace hidsim

// The handle hidapi's API passes around.
// The texts and the info record are written under the backend mutex but read
// by hid_error, hid_read_error and the caller without it: as with hidapi, the
// caller serialises all calls on one handle (the transport's device mutex).
struct hid_device_
{
    std::shared_ptr<hidsim::DeviceState> device;
    std::wstring error = hidsim::NO_ERROR_TEXT;     // see above
    std::wstring readError = hidsim::NO_ERROR_TEXT; // see above
    hid_device_info* info = nullptr;                // see above
};

namespace hidsim {

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

// ---------------------------------------------------------------------------
// hidapi's C API

using hidsim::Backend;
using hidsim::backend;
using hidsim::Call;

namespace {

Call callOn(const char* function, const hid_device* dev)
{
    Call c;
    c.function = function;
    c.device = dev && dev->device ? dev->device->id : -1;
    return c;
}

int copyOut(const hidsim::Bytes& report, unsigned char* data, size_t length)
{
    const size_t n = std::min(length, report.size());
    if (n > 0)
        std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

hid_device* openLocked(Backend& b, const std::shared_ptr<hidsim::DeviceState>& device)
{
    if (device->setup.model && device->openHandles == 0)
        device->setup.model->onOpen(hidsim::Clock::now());
    ++device->openHandles;
    auto* dev = new hid_device;
    dev->device = device;
    hidsim::setGlobalError(b, hidsim::NO_ERROR_TEXT);
    return dev;
}

bool matchesIds(const hidsim::DeviceSetup& setup, unsigned short vendorId, unsigned short productId)
{
    return (vendorId == 0 || setup.vendorId == vendorId) &&
           (productId == 0 || setup.productId == productId);
}

} // namespace

namespace {

// hid_write and hid_send_feature_report differ only in their scripted failure
// and in what an accepted report does.
template <typename Accept>
int writeReport(const char* function, hid_device* dev, const unsigned char* data, size_t length,
                const std::optional<int>& scriptedResult, const std::wstring& scriptedText,
                Accept accept)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    hidsim::sweepUnpluggedLocked(b);
    Call c = callOn(function, dev);
    c.data.assign(data, data + length);
    c.length = length;
    if (!dev->device->present) {
        dev->error = hidsim::UNPLUGGED_WRITE_ERROR;
        c.result = -1;
    } else if (scriptedResult) {
        dev->error = scriptedText;
        c.result = *scriptedResult;
    } else {
        accept(b, c.data);
        c.result = static_cast<int>(length);
    }
    const int result = c.result;
    hidsim::record(b, std::move(c));
    return result;
}

} // namespace

namespace {

int notSupported(const char* function, hid_device* dev, size_t length)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn(function, dev);
    c.length = length;
    c.result = -1;
    hidsim::record(b, std::move(c));
    dev->error = hidsim::NOT_SUPPORTED;
    return -1;
}

} // namespace

extern "C" {

int HID_API_EXPORT hid_init(void)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    ++b.inits;
    hidsim::record(b, callOn("hid_init", nullptr));
    return 0;
}

int HID_API_EXPORT hid_exit(void)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    ++b.exits;
    hidsim::record(b, callOn("hid_exit", nullptr));
    return 0;
}

struct hid_device_info HID_API_EXPORT* hid_enumerate(unsigned short vendor_id,
                                                     unsigned short product_id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    hidsim::sweepUnpluggedLocked(b);
    hid_device_info* first = nullptr;
    hid_device_info* last = nullptr;
    for (const auto& d : b.devices) {
        if (!matchesIds(d->setup, vendor_id, product_id))
            continue;
        hid_device_info* info = hidsim::makeInfo(d->setup);
        (last ? last->next : first) = info;
        last = info;
    }
    if (first)
        hidsim::setGlobalError(b, hidsim::NO_ERROR_TEXT);
    else
        hidsim::setGlobalError(b, L"No HID devices with requested VID/PID found in the system.");
    Call c = callOn("hid_enumerate", nullptr);
    c.vendorId = vendor_id;
    c.productId = product_id;
    c.result = first ? 1 : 0;
    hidsim::record(b, std::move(c));
    return first;
}

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info* devs)
{
    while (devs) {
        hid_device_info* next = devs->next;
        hidsim::freeInfo(devs);
        devs = next;
    }
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    hidsim::record(b, callOn("hid_free_enumeration", nullptr));
}

HID_API_EXPORT hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                                    const wchar_t* serial_number)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    hidsim::sweepUnpluggedLocked(b);
    Call c = callOn("hid_open", nullptr);
    c.vendorId = vendor_id;
    c.productId = product_id;
    if (serial_number)
        c.serialNumber = std::wstring(serial_number);

    hid_device* dev = nullptr;
    std::shared_ptr<hidsim::DeviceState> match;
    for (const auto& d : b.devices) {
        if (!matchesIds(d->setup, vendor_id, product_id))
            continue;
        if (serial_number && (!d->setup.serialNumber || *d->setup.serialNumber != serial_number))
            continue;
        match = d;
        break;
    }
    if (!match)
        hidsim::setGlobalError(b, L"Device with requested VID/PID/(SerialNumber) not found");
    else if (match->openFailure)
        hidsim::setGlobalError(b, *match->openFailure);
    else
        dev = openLocked(b, match);
    c.device = match ? match->id : -1;
    c.result = dev ? 1 : 0;
    hidsim::record(b, std::move(c));
    return dev;
}

HID_API_EXPORT hid_device* hid_open_path(const char* path)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    hidsim::sweepUnpluggedLocked(b);
    Call c = callOn("hid_open_path", nullptr);
    c.path = path ? path : "";

    hid_device* dev = nullptr;
    std::shared_ptr<hidsim::DeviceState> match;
    for (const auto& d : b.devices)
        if (d->setup.path == c.path) {
            match = d;
            break;
        }
    if (!match) {
        const std::wstring widePath(c.path.begin(), c.path.end());
        hidsim::setGlobalError(b, L"Failed to open a device with path '" + widePath +
                                      L"': No such file or directory");
    } else if (match->openFailure) {
        hidsim::setGlobalError(b, *match->openFailure);
    } else {
        dev = openLocked(b, match);
    }
    c.device = match ? match->id : -1;
    c.result = dev ? 1 : 0;
    hidsim::record(b, std::move(c));
    return dev;
}

void HID_API_EXPORT hid_close(hid_device* dev)
{
    if (!dev)
        return;
    Backend& b = backend();
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        hidsim::record(b, callOn("hid_close", dev));
        if (--dev->device->openHandles == 0 && dev->device->setup.model)
            dev->device->setup.model->onClose();
    }
    if (dev->info)
        hidsim::freeInfo(dev->info);
    delete dev;
}

int HID_API_EXPORT hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    hidsim::DeviceState& d = *dev->device;
    return writeReport("hid_write", dev, data, length, d.writeResult, d.writeFailureText,
                       [&d](Backend& b, const hidsim::Bytes& report) {
                           d.outputs.push_back(report);
                           if (d.setup.model)
                               d.setup.model->onOutputReport(report);
                           b.inputChanged.notify_all();
                       });
}

int HID_API_EXPORT hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                    int milliseconds)
{
    using hidsim::Clock;
    Backend& b = backend();
    std::unique_lock<std::mutex> lock(b.mutex);
    const auto start = Clock::now();
    const auto deadline = milliseconds < 0 ? Clock::time_point::max()
                                           : start + std::chrono::milliseconds(milliseconds);
    const std::shared_ptr<hidsim::DeviceState> device = dev->device;
    dev->readError = hidsim::NO_ERROR_TEXT;

    int result = 0;
    hidsim::Bytes report;
    for (;;) {
        if (!device->present) {
            dev->readError = hidsim::UNPLUGGED_READ_ERROR;
            result = -1;
            break;
        }
        if (device->spuriousReadFailures > 0) {
            --device->spuriousReadFailures;
            dev->readError = device->spuriousReadText;
            result = -1;
            break;
        }
        if (device->readFailure) {
            dev->readError = *device->readFailure;
            result = -1;
            break;
        }
        if (!device->queue.empty()) {
            result = copyOut(device->queue.front(), data, length);
            device->queue.pop_front();
            break;
        }
        const auto now = Clock::now();
        auto due = Clock::time_point::max();
        if (device->setup.model) {
            report.clear();
            const auto poll = device->setup.model->pollInput(now, report, due);
            if (poll == hidsim::DeviceModel::Poll::Ready) {
                result = copyOut(report, data, length);
                break;
            }
            if (poll == hidsim::DeviceModel::Poll::Unplug) {
                hidsim::unplugPhysicalLocked(b, device);
                continue;
            }
        }
        if (now >= deadline)
            break;
        const auto wake = std::min(due, deadline);
        if (wake == Clock::time_point::max())
            b.inputChanged.wait(lock);
        else
            b.inputChanged.wait_until(lock, wake);
    }
    if (b.logReads) {
        Call c = callOn("hid_read_timeout", dev);
        c.length = length;
        c.timeout = milliseconds;
        c.result = result;
        hidsim::record(b, std::move(c));
    }
    return result;
}

int HID_API_EXPORT hid_read(hid_device* dev, unsigned char* data, size_t length)
{
    return hid_read_timeout(dev, data, length, -1);
}

HID_API_EXPORT const wchar_t* hid_read_error(hid_device* dev)
{
    if (!dev)
        return L"hid_read_error: a device handle is required";
    return dev->readError.c_str();
}

int HID_API_EXPORT hid_set_nonblocking(hid_device* dev, int /*nonblock*/)
{
    return notSupported("hid_set_nonblocking", dev, 0);
}

int HID_API_EXPORT hid_send_feature_report(hid_device* dev, const unsigned char* data,
                                           size_t length)
{
    hidsim::DeviceState& d = *dev->device;
    return writeReport("hid_send_feature_report", dev, data, length, d.featureResult,
                       d.featureFailureText, [&d](Backend&, const hidsim::Bytes& report) {
                           if (!report.empty())
                               d.setup.featureReports[report[0]] = report;
                       });
}

int HID_API_EXPORT hid_get_feature_report(hid_device* dev, unsigned char* data, size_t length)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn("hid_get_feature_report", dev);
    c.length = length;
    if (length > 0)
        c.data.assign(data, data + 1);
    hidsim::DeviceState& d = *dev->device;
    if (!d.present) {
        dev->error = hidsim::UNPLUGGED_WRITE_ERROR;
        c.result = -1;
    } else if (d.featureResult) {
        dev->error = d.featureFailureText;
        c.result = *d.featureResult;
    } else if (length == 0 || d.setup.featureReports.count(data[0]) == 0) {
        dev->error = L"Broken pipe";
        c.result = -1;
    } else {
        c.result = copyOut(d.setup.featureReports[data[0]], data, length);
    }
    const int result = c.result;
    hidsim::record(b, std::move(c));
    return result;
}

int HID_API_EXPORT hid_send_output_report(hid_device* dev, const unsigned char* /*data*/,
                                          size_t length)
{
    return notSupported("hid_send_output_report", dev, length);
}

int HID_API_EXPORT hid_get_input_report(hid_device* dev, unsigned char* /*data*/, size_t length)
{
    return notSupported("hid_get_input_report", dev, length);
}

namespace {

// Copies at most maxlen characters; like a careless backend, it leaves no
// terminator when the text fills the whole buffer.
int copyString(hid_device* dev, const std::optional<std::wstring>& text, wchar_t* string,
               size_t maxlen)
{
    if (!text) {
        dev->error = L"No string";
        return -1;
    }
    const size_t n = std::min(maxlen, text->size());
    std::wmemcpy(string, text->data(), n);
    if (n < maxlen)
        string[n] = L'\0';
    return 0;
}

int stringQuery(const char* function, hid_device* dev, const std::optional<std::wstring>& text,
                wchar_t* string, size_t maxlen, int index = 0)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn(function, dev);
    c.length = maxlen;
    c.index = index;
    c.result = copyString(dev, text, string, maxlen);
    const int result = c.result;
    hidsim::record(b, std::move(c));
    return result;
}

} // namespace

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return stringQuery("hid_get_manufacturer_string", dev, dev->device->setup.manufacturer, string,
                       maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return stringQuery("hid_get_product_string", dev, dev->device->setup.product, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string,
                                                     size_t maxlen)
{
    return stringQuery("hid_get_serial_number_string", dev, dev->device->setup.serialNumber, string,
                       maxlen);
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device* dev, int string_index, wchar_t* string,
                                               size_t maxlen)
{
    std::optional<std::wstring> text;
    {
        Backend& b = backend();
        std::lock_guard<std::mutex> lock(b.mutex);
        const auto& strings = dev->device->setup.indexedStrings;
        if (auto it = strings.find(string_index); it != strings.end())
            text = it->second;
    }
    return stringQuery("hid_get_indexed_string", dev, text, string, maxlen, string_index);
}

struct hid_device_info HID_API_EXPORT* hid_get_device_info(hid_device* dev)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn("hid_get_device_info", dev);
    if (!dev->device->deviceInfoAvailable) {
        dev->error = L"hid_get_device_info: device information is not available";
    } else if (!dev->info) {
        dev->info = hidsim::makeInfo(dev->device->setup);
    }
    hid_device_info* info = dev->device->deviceInfoAvailable ? dev->info : nullptr;
    c.result = info ? 1 : 0;
    hidsim::record(b, std::move(c));
    return info;
}

int HID_API_EXPORT_CALL hid_get_report_descriptor(hid_device* dev, unsigned char* buf,
                                                  size_t buf_size)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn("hid_get_report_descriptor", dev);
    c.length = buf_size;
    hidsim::DeviceState& d = *dev->device;
    if (!d.present) {
        dev->error = hidsim::UNPLUGGED_WRITE_ERROR;
        c.result = -1;
    } else if (!d.descriptorAvailable) {
        dev->error = L"ioctl (GRDESCSIZE): Input/output error";
        c.result = -1;
    } else {
        c.result = copyOut(d.setup.reportDescriptor, buf, buf_size);
    }
    const int result = c.result;
    hidsim::record(b, std::move(c));
    return result;
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev)
{
    if (dev)
        return dev->error.c_str();
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    return b.globalErrors.back().c_str();
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void)
{
    static const hid_api_version version{HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                         HID_API_VERSION_PATCH};
    return &version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void)
{
    return HID_API_VERSION_STR;
}

} // extern "C"
