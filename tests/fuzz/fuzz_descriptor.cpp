// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Report descriptors of any shape through the transport's two geometry
// queries, with the descriptor served by the simulated backend.
#include "csimplehidclass.h"
#include "hidsim.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Lives across inputs, so the library stays initialised.
    static CSimpleHidClass hid;

    hidsim::DeviceSetup setup;
    setup.vendorId = 0x1209;
    setup.productId = 0x0002;
    setup.reportDescriptor.assign(data, data + size);
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    if (!hid.OpenPath(hidsim::pathOf(id)))
        std::abort();

    unsigned long long lengths[3] = {1, 1, 1};
    bool flags[3] = {true, true, true};
    if (!hid.GetReportByteLengths(lengths[0], lengths[1], lengths[2]) ||
        !hid.GetReportIdUsage(flags[0], flags[1], flags[2]))
        std::abort();
    for (int type = 0; type < 3; ++type) {
        // A type without reports can use no report IDs.
        if (lengths[type] == 0 && flags[type])
            std::abort();
        // Output and feature lengths always count the report-ID byte.
        if (type > 0 && lengths[type] == 1)
            std::abort();
    }
    // The input length counts the report-ID byte exactly when IDs are used;
    // a single ID byte with no data can only come from a used report ID.
    if (lengths[0] == 1 && flags[0])
        std::abort();

    hid.Close();
    // Also empties the call log, which would otherwise grow with every input.
    hidsim::reset();
    return 0;
}
