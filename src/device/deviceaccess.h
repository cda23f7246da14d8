// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Whether this user may open a sensor's device node for reading and writing,
// so the device dialog and the recorder can tell how to get access before a
// connect fails.
#pragma once

#include <QString>

#include <functional>
#include <string>

class DeviceAccess
{
public:
    using Check = std::function<bool(const std::string& path)>;

    // True unless the path is a file-system node this user cannot both read
    // and write. Paths that are no file (other platforms, simulated sensors)
    // count as accessible: there is nothing to advise about them.
    static bool canReadWrite(const std::string& path);
    // Replaces the check, for tests (which run as root); an empty function
    // restores the real one. GUI thread only.
    static void setCheck(Check check);

    // The udev rule that grants access, where this installation put it;
    // empty when it is not installed beside the program.
    static QString installedUdevRule();
    // What to do about a node this user may not open: the rule to load (or
    // copy first) and the commands, over several lines.
    static QString guidance(const std::string& path);
};
