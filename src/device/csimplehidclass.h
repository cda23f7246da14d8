// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// HID transport: one object per open HID device, on top of hidapi.
//
// Every operation that can fail returns false and leaves a UTF-8 text for
// GetLastError(); a success never clears that text. Every hidapi call made
// with the device handle runs under m_deviceMutex; m_errorMutex guards the
// text. Lock order: m_deviceMutex, then m_errorMutex, never the reverse.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct hid_device_;

// One HID interface as hidapi lists it. Strings are copied as the library
// gives them; a missing string becomes empty.
struct SHidDeviceInfo
{
    std::string path;
    unsigned short vendorId = 0;
    unsigned short productId = 0;
    std::wstring serialNumber;
    std::wstring manufacturer;
    std::wstring product;
    unsigned short releaseNumber = 0; // BCD, as the device reports it
    unsigned short usagePage = 0;
    unsigned short usage = 0;
    int interfaceNumber = -1; // -1: the library reports none
};

// Called on the read thread with one input report; the reference is valid
// only for the duration of the call.
using ReadCallback = std::function<void(const std::vector<unsigned char>&)>;

class CSimpleHidClass
{
public:
    // The first live object initialises hidapi, the last one releases it.
    CSimpleHidClass();
    // Stops and joins the read thread, then closes the device.
    ~CSimpleHidClass();

    CSimpleHidClass(const CSimpleHidClass&) = delete;
    CSimpleHidClass& operator=(const CSimpleHidClass&) = delete;
    CSimpleHidClass(CSimpleHidClass&&) = delete;
    CSimpleHidClass& operator=(CSimpleHidClass&&) = delete;

    // An empty serial number opens the first device with the two IDs.
    // Fails with "Device already open" while a device is open (it stays open).
    bool Open(unsigned short vendorId, unsigned short productId, const std::wstring& serialNumber);
    bool OpenPath(const std::string& path);
    // Stops the read thread, then closes. Never fails; must not be called
    // from the read callback.
    void Close();
    bool IsOpen() const;

    // Byte 0 is the report ID. True only when the library wrote every byte.
    bool Write(const std::vector<unsigned char>& data);
    bool SendFeatureReport(const std::vector<unsigned char>& data);
    // On success data holds the library's count of bytes (never more than
    // length + 1), report ID first. A length no buffer can hold throws the
    // allocation's std::length_error; the device stays usable.
    bool GetFeatureReport(unsigned char reportId, std::vector<unsigned char>& data,
                          unsigned long long length);
    bool GetIndexedString(unsigned char index, std::wstring& text) const;

    // Blocks up to timeoutMs (0: no wait, -1: no limit) with m_deviceMutex
    // held. False with "Timeout" when nothing arrived; the buffer is then empty.
    bool Read(std::vector<unsigned char>& buffer, unsigned long long length, int timeoutMs);
    // Calls callback for every report until StopReadThread, Close or destruction.
    bool StartReadThread(ReadCallback callback, unsigned long long length, int timeoutMs);
    // Joins the thread: returns within one read time-out plus one callback.
    // Must not be called from the read callback.
    void StopReadThread();
    bool IsReadThreadRunning() const;

    // Lengths of the longest input, output and feature reports in bytes,
    // from the device's report descriptor.
    bool GetReportByteLengths(unsigned long long& inputLength, unsigned long long& outputLength,
                              unsigned long long& featureLength) const;
    // Whether input, output and feature reports carry report IDs.
    bool GetReportIdUsage(bool& input, bool& output, bool& feature) const;

    // Lists every interface matching the IDs (0 matches any), in the
    // library's order. Always true; needs no object.
    static bool EnumerateDevices(std::vector<SHidDeviceInfo>& list, unsigned short vendorId,
                                 unsigned short productId);
    bool GetDeviceInfo(SHidDeviceInfo& info) const;

    std::string GetLastError() const;

private:
    void SetLastError(std::string text) const;
    void ReadThreadFunc(unsigned long long length, int timeoutMs, ReadCallback callback);
    // Read's body: the library's count, 0 on a time-out, negative on a
    // library error (each with its text set). Caller holds m_deviceMutex.
    int ReadLocked(std::vector<unsigned char>& buffer, unsigned long long length, int timeoutMs);
    // Waits up to timeoutMs (negative: without limit) or until a stop is requested.
    void PauseUnlessStopped(int timeoutMs);
    // Reads and parses the descriptor under m_deviceMutex; sets the text on failure.
    bool QueryReportGeometry(unsigned long long lengths[3], bool flags[3]) const;

    hid_device_* m_device = nullptr;  // guarded by m_deviceMutex
    mutable std::mutex m_deviceMutex; // also held across every hidapi call on m_device
    mutable std::mutex m_errorMutex;
    mutable std::string m_lastError; // guarded by m_errorMutex
    std::thread m_readThread;        // started and joined by the controlling thread only
    std::atomic<bool> m_readThreadRunning{false}; // atomic; cleared by the read thread as it ends
    std::atomic<bool> m_stopRequested{false};     // atomic; polled by the read thread between reads
    // Wakes the read thread from its pause after a failed read; m_stopRequested
    // is also stored under m_stopMutex so that the wake-up cannot be missed.
    std::mutex m_stopMutex;
    std::condition_variable m_stopWake;

    // Live objects; atomic. The first initialises hidapi, the last releases it.
    static std::atomic<int> s_instanceCount;
};
