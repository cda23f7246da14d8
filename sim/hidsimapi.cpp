// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// hidapi's C API over the simulated devices: what the program links instead of
// the real library in the tests and the demo.
#include "hidsim.h"

#include "hidsimbackend.h"

#include <hidapi.h>

#include <algorithm>
#include <cstring>

namespace {

const wchar_t* const NOT_SUPPORTED = L"Not supported by the simulated backend";

wchar_t* copyWide(const std::optional<std::wstring>& text)
{
    if (!text)
        return nullptr;
    auto* copy = new wchar_t[text->size() + 1];
    std::wmemcpy(copy, text->c_str(), text->size() + 1);
    return copy;
}

hid_device_info* makeInfo(const hidsim::DeviceSetup& setup)
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

} // namespace

using hidsim::Call;
using hidsim::detail::Backend;
using hidsim::detail::backend;
using hidsim::detail::DeviceState;
using hidsim::detail::NO_ERROR_TEXT;
using hidsim::detail::record;
using hidsim::detail::setGlobalError;
using hidsim::detail::sweepUnpluggedLocked;
using hidsim::detail::unplugPhysicalLocked;

// The handle hidapi's API passes around.
// The texts and the info record are written under the backend mutex but read
// by hid_error, hid_read_error and the caller without it: as with hidapi, the
// caller serialises all calls on one handle (the transport's device mutex).
struct hid_device_
{
    std::shared_ptr<DeviceState> device;
    std::wstring error = NO_ERROR_TEXT;     // see above
    std::wstring readError = NO_ERROR_TEXT; // see above
    hid_device_info* info = nullptr;        // see above
};

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

hid_device* openLocked(Backend& b, const std::shared_ptr<DeviceState>& device)
{
    if (device->setup.model && device->openHandles == 0)
        device->setup.model->onOpen(hidsim::Clock::now());
    ++device->openHandles;
    auto* dev = new hid_device;
    dev->device = device;
    setGlobalError(b, NO_ERROR_TEXT);
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
    sweepUnpluggedLocked(b);
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
    record(b, std::move(c));
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
    record(b, std::move(c));
    dev->error = NOT_SUPPORTED;
    return -1;
}

} // namespace

extern "C" {

int HID_API_EXPORT hid_init(void)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    ++b.inits;
    record(b, callOn("hid_init", nullptr));
    return 0;
}

int HID_API_EXPORT hid_exit(void)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    ++b.exits;
    record(b, callOn("hid_exit", nullptr));
    return 0;
}

struct hid_device_info HID_API_EXPORT* hid_enumerate(unsigned short vendor_id,
                                                     unsigned short product_id)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    sweepUnpluggedLocked(b);
    hid_device_info* first = nullptr;
    hid_device_info* last = nullptr;
    for (const auto& d : b.devices) {
        if (!matchesIds(d->setup, vendor_id, product_id))
            continue;
        hid_device_info* info = makeInfo(d->setup);
        (last ? last->next : first) = info;
        last = info;
    }
    if (first)
        setGlobalError(b, NO_ERROR_TEXT);
    else
        setGlobalError(b, L"No HID devices with requested VID/PID found in the system.");
    Call c = callOn("hid_enumerate", nullptr);
    c.vendorId = vendor_id;
    c.productId = product_id;
    c.result = first ? 1 : 0;
    record(b, std::move(c));
    return first;
}

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info* devs)
{
    while (devs) {
        hid_device_info* next = devs->next;
        freeInfo(devs);
        devs = next;
    }
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    record(b, callOn("hid_free_enumeration", nullptr));
}

HID_API_EXPORT hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                                    const wchar_t* serial_number)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    sweepUnpluggedLocked(b);
    Call c = callOn("hid_open", nullptr);
    c.vendorId = vendor_id;
    c.productId = product_id;
    if (serial_number)
        c.serialNumber = std::wstring(serial_number);

    hid_device* dev = nullptr;
    std::shared_ptr<DeviceState> match;
    for (const auto& d : b.devices) {
        if (!matchesIds(d->setup, vendor_id, product_id))
            continue;
        if (serial_number && (!d->setup.serialNumber || *d->setup.serialNumber != serial_number))
            continue;
        match = d;
        break;
    }
    if (!match)
        setGlobalError(b, L"Device with requested VID/PID/(SerialNumber) not found");
    else if (match->openFailure)
        setGlobalError(b, *match->openFailure);
    else
        dev = openLocked(b, match);
    c.device = match ? match->id : -1;
    c.result = dev ? 1 : 0;
    record(b, std::move(c));
    return dev;
}

HID_API_EXPORT hid_device* hid_open_path(const char* path)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    sweepUnpluggedLocked(b);
    Call c = callOn("hid_open_path", nullptr);
    c.path = path ? path : "";

    hid_device* dev = nullptr;
    std::shared_ptr<DeviceState> match;
    for (const auto& d : b.devices)
        if (d->setup.path == c.path) {
            match = d;
            break;
        }
    if (!match) {
        const std::wstring widePath(c.path.begin(), c.path.end());
        setGlobalError(b, L"Failed to open a device with path '" + widePath +
                              L"': No such file or directory");
    } else if (match->openFailure) {
        setGlobalError(b, *match->openFailure);
    } else {
        dev = openLocked(b, match);
    }
    c.device = match ? match->id : -1;
    c.result = dev ? 1 : 0;
    record(b, std::move(c));
    return dev;
}

void HID_API_EXPORT hid_close(hid_device* dev)
{
    if (!dev)
        return;
    Backend& b = backend();
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        record(b, callOn("hid_close", dev));
        if (--dev->device->openHandles == 0 && dev->device->setup.model)
            dev->device->setup.model->onClose();
    }
    if (dev->info)
        freeInfo(dev->info);
    delete dev;
}

int HID_API_EXPORT hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    DeviceState& d = *dev->device;
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
    const std::shared_ptr<DeviceState> device = dev->device;
    dev->readError = NO_ERROR_TEXT;

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
                unplugPhysicalLocked(b, device);
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
        record(b, std::move(c));
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
    DeviceState& d = *dev->device;
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
    DeviceState& d = *dev->device;
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
    record(b, std::move(c));
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
    record(b, std::move(c));
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
        dev->info = makeInfo(dev->device->setup);
    }
    hid_device_info* info = dev->device->deviceInfoAvailable ? dev->info : nullptr;
    c.result = info ? 1 : 0;
    record(b, std::move(c));
    return info;
}

int HID_API_EXPORT_CALL hid_get_report_descriptor(hid_device* dev, unsigned char* buf,
                                                  size_t buf_size)
{
    Backend& b = backend();
    std::lock_guard<std::mutex> lock(b.mutex);
    Call c = callOn("hid_get_report_descriptor", dev);
    c.length = buf_size;
    DeviceState& d = *dev->device;
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
    record(b, std::move(c));
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
