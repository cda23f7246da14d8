// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csimplehidclass.h"

#include <hidapi.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <type_traits>

std::atomic<int> CSimpleHidClass::s_instanceCount{0};

namespace {

const char* const TEXT_DEVICE_NOT_OPEN = "Device not open";
const char* const TEXT_DEVICE_ALREADY_OPEN = "Device already open";
const char* const TEXT_READ_THREAD_RUNNING = "Read thread already running";
const char* const TEXT_TIMEOUT = "Timeout";

constexpr std::size_t INDEXED_STRING_CAPACITY = 256;
constexpr std::size_t REPORT_DESCRIPTOR_CAPACITY = HID_API_MAX_REPORT_DESCRIPTOR_SIZE;

void AppendUtf8(std::string& out, std::uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        // Lone surrogates land here too: they keep their own three-byte form.
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c <= 0x10FFFF) {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        // Beyond Unicode (only possible with 32-bit wchar_t): U+FFFD.
        out += "\xEF\xBF\xBD";
    }
}

std::uint32_t CodeUnit(wchar_t w)
{
    // wchar_t is signed on some platforms; a negative value must not pass for ASCII.
    return static_cast<std::uint32_t>(static_cast<std::make_unsigned_t<wchar_t>>(w));
}

// hidapi's texts are UTF-16 on Windows and UTF-32 elsewhere; both are handled
// here, and a surrogate pair stored as two units combines in either case.
std::string WideToUtf8(const wchar_t* text)
{
    std::string out;
    if (!text)
        return out;
    for (const wchar_t* p = text; *p != 0;) {
        const std::uint32_t u = CodeUnit(p[0]);
        if (u >= 0xD800 && u <= 0xDBFF) {
            const std::uint32_t v = CodeUnit(p[1]); // p[1] is at worst the terminator
            if (v >= 0xDC00 && v <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (v - 0xDC00));
                p += 2;
                continue;
            }
        }
        AppendUtf8(out, u);
        ++p;
    }
    return out;
}

// A byte count plus room for a leading report-ID byte as a buffer size. A sum
// that would wrap around (or not fit std::size_t) saturates, so the
// allocation fails instead of yielding a buffer too short for byte 0.
std::size_t BufferSize(unsigned long long count, unsigned long long extra)
{
    const unsigned long long max = std::numeric_limits<std::size_t>::max();
    return count > max - extra ? static_cast<std::size_t>(max)
                               : static_cast<std::size_t>(count + extra);
}

std::wstring WideOrEmpty(const wchar_t* text)
{
    return text ? std::wstring(text) : std::wstring();
}

void CopyDeviceInfo(const hid_device_info& from, SHidDeviceInfo& to)
{
    to.path = from.path ? std::string(from.path) : std::string();
    to.vendorId = from.vendor_id;
    to.productId = from.product_id;
    to.serialNumber = WideOrEmpty(from.serial_number);
    to.manufacturer = WideOrEmpty(from.manufacturer_string);
    to.product = WideOrEmpty(from.product_string);
    to.releaseNumber = from.release_number;
    to.usagePage = from.usage_page;
    to.usage = from.usage;
    to.interfaceNumber = from.interface_number;
}

struct GlobalState
{
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
    bool reportIdSeen = false;
};

// Bit totals per report type (input, output, feature) of one report ID.
using ReportGeometry = std::array<std::uint64_t, 3>;

std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b)
{
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return b > max - a ? max : a + b;
}

// Only the items that change report sizes matter here; everything else,
// long items included, is skipped by its own length. A truncated item ends
// the walk and what came before it still counts.
void ParseReportDescriptor(const unsigned char* data, unsigned long long length,
                           unsigned long long lengths[3], bool flags[3])
{
    enum : unsigned
    {
        TYPE_MAIN = 0,
        TYPE_GLOBAL = 1
    };
    enum : unsigned
    {
        TAG_INPUT = 8,
        TAG_OUTPUT = 9,
        TAG_FEATURE = 11,
        TAG_REPORT_SIZE = 7,
        TAG_REPORT_ID = 8,
        TAG_REPORT_COUNT = 9,
        TAG_PUSH = 10,
        TAG_POP = 11,
    };

    GlobalState state;
    std::vector<GlobalState> stack;
    std::map<std::uint32_t, ReportGeometry> geometry;
    bool usesReportId[3] = {false, false, false};

    unsigned long long pos = 0;
    while (pos < length) {
        const unsigned prefix = data[pos];
        if (prefix == 0xFE) {
            if (pos + 2 > length)
                break;
            pos += 3 + data[pos + 1];
            continue;
        }

        static const unsigned DATA_SIZES[4] = {0, 1, 2, 4};
        const unsigned size = DATA_SIZES[prefix & 0x03];
        const unsigned type = (prefix >> 2) & 0x03;
        const unsigned tag = prefix >> 4;
        if (pos + 1 + size > length)
            break;
        std::uint32_t value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= static_cast<std::uint32_t>(data[pos + 1 + i]) << (8 * i);
        pos += 1 + size;

        if (type == TYPE_GLOBAL) {
            switch (tag) {
            case TAG_REPORT_SIZE:
                state.reportSize = value;
                break;
            case TAG_REPORT_ID:
                state.reportId = value;
                state.reportIdSeen = true;
                break;
            case TAG_REPORT_COUNT:
                state.reportCount = value;
                break;
            case TAG_PUSH:
                stack.push_back(state);
                break;
            case TAG_POP:
                if (!stack.empty()) {
                    state = stack.back();
                    stack.pop_back();
                }
                break;
            default:
                break;
            }
        } else if (type == TYPE_MAIN) {
            int index = -1;
            if (tag == TAG_INPUT)
                index = 0;
            else if (tag == TAG_OUTPUT)
                index = 1;
            else if (tag == TAG_FEATURE)
                index = 2;
            if (index < 0)
                continue;
            // operator[] creates the entry with zero totals on first use.
            std::uint64_t& bits = geometry[state.reportId][index];
            // A hostile descriptor could wrap the sum around to a small length.
            bits = SaturatingAdd(bits, static_cast<std::uint64_t>(state.reportSize) *
                                           static_cast<std::uint64_t>(state.reportCount));
            if (state.reportIdSeen)
                usesReportId[index] = true;
        }
    }

    for (int index = 0; index < 3; ++index) {
        std::uint64_t maxBits = 0;
        for (const auto& entry : geometry)
            maxBits = std::max(maxBits, entry.second[index]);
        if (maxBits == 0) {
            lengths[index] = 0;
            continue;
        }
        const unsigned long long bytes = maxBits / 8 + (maxBits % 8 != 0 ? 1 : 0);
        // Output and feature buffers always lead with the report-ID byte
        // hidapi expects; input reports carry it only when the device uses IDs.
        const bool addIdByte = index == 0 ? usesReportId[0] : true;
        lengths[index] = bytes + (addIdByte ? 1 : 0);
        flags[index] = usesReportId[index];
    }
}

// False when the library cannot deliver the descriptor.
bool ReadReportGeometry(hid_device* device, unsigned long long lengths[3], bool flags[3])
{
    std::vector<unsigned char> descriptor(REPORT_DESCRIPTOR_CAPACITY, 0);
    const int n = hid_get_report_descriptor(device, descriptor.data(), descriptor.size());
    if (n < 0)
        return false;
    // Never trust a count beyond the buffer the library was given.
    const auto size = std::min(static_cast<std::size_t>(n), descriptor.size());
    ParseReportDescriptor(descriptor.data(), size, lengths, flags);
    return true;
}

} // namespace

CSimpleHidClass::CSimpleHidClass()
{
    if (s_instanceCount.fetch_add(1) == 0)
        hid_init();
}

CSimpleHidClass::~CSimpleHidClass()
{
    StopReadThread();
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        if (m_device) {
            hid_close(m_device);
            m_device = nullptr;
        }
    }
    if (s_instanceCount.fetch_sub(1) == 1)
        hid_exit();
}

bool CSimpleHidClass::Open(unsigned short vendorId, unsigned short productId,
                           const std::wstring& serialNumber)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (m_device) {
        SetLastError(TEXT_DEVICE_ALREADY_OPEN);
        return false;
    }
    m_device = hid_open(vendorId, productId, serialNumber.empty() ? nullptr : serialNumber.c_str());
    if (!m_device) {
        SetLastError(WideToUtf8(hid_error(nullptr)));
        return false;
    }
    return true;
}

bool CSimpleHidClass::OpenPath(const std::string& path)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (m_device) {
        SetLastError(TEXT_DEVICE_ALREADY_OPEN);
        return false;
    }
    m_device = hid_open_path(path.c_str());
    if (!m_device) {
        SetLastError(WideToUtf8(hid_error(nullptr)));
        return false;
    }
    return true;
}

void CSimpleHidClass::Close()
{
    StopReadThread();
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (m_device) {
        hid_close(m_device);
        m_device = nullptr;
    }
}

bool CSimpleHidClass::IsOpen() const
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    return m_device != nullptr;
}

bool CSimpleHidClass::Write(const std::vector<unsigned char>& data)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    const int n = hid_write(m_device, data.data(), data.size());
    if (n < 0 || static_cast<std::size_t>(n) != data.size()) {
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    return true;
}

bool CSimpleHidClass::SendFeatureReport(const std::vector<unsigned char>& data)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    const int n = hid_send_feature_report(m_device, data.data(), data.size());
    if (n < 0 || static_cast<std::size_t>(n) != data.size()) {
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    return true;
}

bool CSimpleHidClass::GetFeatureReport(unsigned char reportId, std::vector<unsigned char>& data,
                                       unsigned long long length)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    std::vector<unsigned char> buffer(BufferSize(length, 1), 0);
    buffer[0] = reportId;
    const int n = hid_get_feature_report(m_device, buffer.data(), buffer.size());
    if (n < 0) {
        data.clear();
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    // Never hand out bytes beyond the buffer the library was given.
    buffer.resize(std::min(static_cast<std::size_t>(n), buffer.size()));
    data = std::move(buffer);
    return true;
}

bool CSimpleHidClass::GetIndexedString(unsigned char index, std::wstring& text) const
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    std::array<wchar_t, INDEXED_STRING_CAPACITY> buffer{};
    if (hid_get_indexed_string(m_device, index, buffer.data(), buffer.size()) < 0) {
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    // The library may fill the whole buffer without a terminator.
    const auto end = std::find(buffer.begin(), buffer.end(), L'\0');
    text.assign(buffer.begin(), end);
    return true;
}

bool CSimpleHidClass::Read(std::vector<unsigned char>& buffer, unsigned long long length,
                           int timeoutMs)
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    return ReadLocked(buffer, length, timeoutMs) > 0;
}

int CSimpleHidClass::ReadLocked(std::vector<unsigned char>& buffer, unsigned long long length,
                                int timeoutMs)
{
    buffer.resize(length);
    const int n = hid_read_timeout(m_device, buffer.data(), buffer.size(), timeoutMs);
    if (n < 0) {
        buffer.clear();
        SetLastError(WideToUtf8(hid_read_error(m_device)));
        return n;
    }
    if (n == 0) {
        buffer.clear();
        SetLastError(TEXT_TIMEOUT);
        return 0;
    }
    buffer.resize(static_cast<std::size_t>(n));
    return n;
}

bool CSimpleHidClass::StartReadThread(ReadCallback callback, unsigned long long length,
                                      int timeoutMs)
{
    if (m_readThreadRunning) {
        SetLastError(TEXT_READ_THREAD_RUNNING);
        return false;
    }
    bool open = false;
    {
        std::lock_guard<std::mutex> lock(m_deviceMutex);
        open = m_device != nullptr;
    }
    if (!open) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    m_stopRequested = false;
    m_readThreadRunning = true;
    m_readThread =
        std::thread(&CSimpleHidClass::ReadThreadFunc, this, length, timeoutMs, std::move(callback));
    return true;
}

void CSimpleHidClass::StopReadThread()
{
    {
        std::lock_guard<std::mutex> lock(m_stopMutex);
        m_stopRequested = true;
    }
    m_stopWake.notify_all();
    if (m_readThread.joinable())
        m_readThread.join();
    m_readThreadRunning = false;
}

bool CSimpleHidClass::IsReadThreadRunning() const
{
    return m_readThreadRunning;
}

void CSimpleHidClass::ReadThreadFunc(unsigned long long length, int timeoutMs,
                                     ReadCallback callback)
{
    // One buffer for the thread's life: after a failed read it keeps its
    // capacity, so streaming allocates nothing here.
    std::vector<unsigned char> buffer;
    bool failedBefore = false;
    while (!m_stopRequested) {
        int n = 0;
        {
            std::lock_guard<std::mutex> lock(m_deviceMutex);
            // Close joins this thread before it closes, so the device is open.
            n = ReadLocked(buffer, length, timeoutMs);
        }
        if (n > 0 && callback)
            callback(buffer);
        // A device that has gone fails every read at once; retrying without
        // a pause would burn a core and the error lock until the owner
        // notices the silence and stops the thread. A single failure is
        // retried at once: the kernel keeps only a few dozen reports, so a
        // pause after a spurious error would cost samples.
        if (n < 0 && failedBefore)
            PauseUnlessStopped(timeoutMs);
        failedBefore = n < 0;
    }
    m_readThreadRunning = false;
}

void CSimpleHidClass::PauseUnlessStopped(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_stopMutex);
    const auto stopped = [this] { return m_stopRequested.load(); };
    if (timeoutMs < 0)
        m_stopWake.wait(lock, stopped);
    else
        m_stopWake.wait_for(lock, std::chrono::milliseconds(timeoutMs), stopped);
}

bool CSimpleHidClass::QueryReportGeometry(unsigned long long lengths[3], bool flags[3]) const
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    if (!ReadReportGeometry(m_device, lengths, flags)) {
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    return true;
}

bool CSimpleHidClass::GetReportByteLengths(unsigned long long& inputLength,
                                           unsigned long long& outputLength,
                                           unsigned long long& featureLength) const
{
    inputLength = 0;
    outputLength = 0;
    featureLength = 0;
    unsigned long long lengths[3] = {0, 0, 0};
    bool flags[3] = {false, false, false};
    if (!QueryReportGeometry(lengths, flags))
        return false;
    inputLength = lengths[0];
    outputLength = lengths[1];
    featureLength = lengths[2];
    return true;
}

bool CSimpleHidClass::GetReportIdUsage(bool& input, bool& output, bool& feature) const
{
    input = false;
    output = false;
    feature = false;
    unsigned long long lengths[3] = {0, 0, 0};
    bool flags[3] = {false, false, false};
    if (!QueryReportGeometry(lengths, flags))
        return false;
    input = flags[0];
    output = flags[1];
    feature = flags[2];
    return true;
}

bool CSimpleHidClass::EnumerateDevices(std::vector<SHidDeviceInfo>& list, unsigned short vendorId,
                                       unsigned short productId)
{
    list.clear();
    // Released on every path, also when an append throws.
    const std::unique_ptr<hid_device_info, decltype(&hid_free_enumeration)> devices(
        hid_enumerate(vendorId, productId), &hid_free_enumeration);
    for (const hid_device_info* entry = devices.get(); entry; entry = entry->next) {
        SHidDeviceInfo info;
        CopyDeviceInfo(*entry, info);
        list.push_back(std::move(info));
    }
    return true;
}

bool CSimpleHidClass::GetDeviceInfo(SHidDeviceInfo& info) const
{
    std::lock_guard<std::mutex> lock(m_deviceMutex);
    if (!m_device) {
        SetLastError(TEXT_DEVICE_NOT_OPEN);
        return false;
    }
    const hid_device_info* libraryInfo = hid_get_device_info(m_device);
    if (!libraryInfo) {
        SetLastError(WideToUtf8(hid_error(m_device)));
        return false;
    }
    CopyDeviceInfo(*libraryInfo, info);
    return true;
}

std::string CSimpleHidClass::GetLastError() const
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    return m_lastError;
}

void CSimpleHidClass::SetLastError(std::string text) const
{
    std::lock_guard<std::mutex> lock(m_errorMutex);
    m_lastError = std::move(text);
}
