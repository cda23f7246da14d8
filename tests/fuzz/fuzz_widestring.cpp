// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Library error texts of any wide-character content, converted to UTF-8 by
// the transport: decoding the result must give back the input's code units.
#include "csimplehidclass.h"
#include "hidsim.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Decodes 1- to 4-byte sequences, accepting encoded surrogates (the
// transport keeps unpaired ones as their own three-byte form).
bool DecodeLenient(const std::string& text, std::vector<std::uint32_t>& out)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        std::uint32_t c = 0;
        if (lead < 0x80) {
            c = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            extra = 1;
            c = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            extra = 2;
            c = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            extra = 3;
            c = lead & 0x07;
        } else {
            return false;
        }
        if (i + extra >= text.size())
            return false;
        for (int k = 1; k <= extra; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80)
                return false;
            c = (c << 6) | (cont & 0x3F);
        }
        // Shortest form only.
        static const std::uint32_t MIN[4] = {0, 0x80, 0x800, 0x10000};
        if (c < MIN[extra] || c > 0x10FFFF)
            return false;
        out.push_back(c);
        i += 1 + extra;
    }
    return true;
}

// Code points as 16-bit units, as the transport's rules see the input.
void AppendUnits(std::vector<std::uint32_t>& units, std::uint32_t c)
{
    if (c >= 0x10000 && c <= 0x10FFFF) {
        units.push_back(0xD800 + ((c - 0x10000) >> 10));
        units.push_back(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
        units.push_back(c > 0x10FFFF ? 0xFFFD : c);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static CSimpleHidClass hid;

    std::wstring text;
    for (std::size_t i = 0; i + sizeof(wchar_t) <= size; i += sizeof(wchar_t)) {
        wchar_t unit;
        std::memcpy(&unit, data + i, sizeof unit);
        if (unit == 0)
            break;
        text.push_back(unit);
    }

    hidsim::DeviceSetup setup;
    setup.vendorId = 0x1209;
    setup.productId = 0x0003;
    const hidsim::DeviceId id = hidsim::addDevice(setup);
    hidsim::setOpenFailure(id, text);
    if (hid.OpenPath(hidsim::pathOf(id)))
        std::abort();
    const std::string utf8 = hid.GetLastError();

    std::vector<std::uint32_t> decoded;
    if (!DecodeLenient(utf8, decoded))
        std::abort();
    std::vector<std::uint32_t> got;
    std::vector<std::uint32_t> expected;
    for (std::uint32_t c : decoded)
        AppendUnits(got, c);
    for (wchar_t w : text)
        AppendUnits(expected, static_cast<std::uint32_t>(w));
    if (got != expected)
        std::abort();
    hidsim::reset();
    return 0;
}
