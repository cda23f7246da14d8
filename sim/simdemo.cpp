// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// Linked only into the simulated program: plugs in the sensors it finds at
// start-up. By default two sensors stream in real time. For manual
// experiments SKARVEL_SIM_SENSORS lists the sensors instead, separated by
// commas, each a serial number followed by options:
//   SKARVEL_SIM_SENSORS="A1,B2:fw=0200,C3:noif0,D4:unplug=30,E5:burst"
//   noif0        interface 0 is missing (listed, but cannot be connected)
//   unplug=SEC   the cable is pulled SEC seconds after start
//   fw=HEX       release number
//   burst        reports as fast as they are read
//   burst=N      only N reports, as fast as they are read, then silence
//   impact=SEC   a knock of about a g every SEC seconds, to try the trigger on
// An empty item is a sensor with an empty serial number; an empty variable
// means no sensor at all.
#include "skarvelmodel.h"

#include <chrono>
#include <cstdlib>
#include <string>

namespace {

std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

void addFromDescription(const std::string& description, uint32_t seed)
{
    const std::vector<std::string> fields = split(description, ':');
    skarvelsim::SSensorConfig config;
    config.serialNumber = std::wstring(fields[0].begin(), fields[0].end());
    config.seed = seed;
    std::optional<double> unplugAfter;
    for (std::size_t i = 1; i < fields.size(); ++i) {
        const std::string& option = fields[i];
        if (option == "noif0")
            config.hasInterface0 = false;
        else if (option == "burst")
            config.pacing = skarvelsim::EPacing::Burst;
        else if (option.rfind("burst=", 0) == 0) {
            config.pacing = skarvelsim::EPacing::Burst;
            config.burstCount = std::strtoull(option.c_str() + 6, nullptr, 10);
        } else if (option.rfind("fw=", 0) == 0)
            config.firmware =
                static_cast<unsigned short>(std::strtoul(option.c_str() + 3, nullptr, 16));
        else if (option.rfind("unplug=", 0) == 0)
            unplugAfter = std::strtod(option.c_str() + 7, nullptr);
        else if (option.rfind("impact=", 0) == 0)
            config.impactPeriodSeconds = std::strtod(option.c_str() + 7, nullptr);
    }
    const skarvelsim::SSimSensor sensor = skarvelsim::addSensor(config);
    if (unplugAfter) {
        const auto delay = std::chrono::duration_cast<hidsim::Clock::duration>(
            std::chrono::duration<double>(*unplugAfter));
        sensor.model->unplugAt(hidsim::Clock::now() + delay);
    }
}

struct SDemoSensors
{
    SDemoSensors()
    {
        const char* list = std::getenv("SKARVEL_SIM_SENSORS");
        if (!list) {
            addFromDescription("SKV-000117", 1);
            addFromDescription("SKV-000342", 2);
            return;
        }
        if (*list == '\0')
            return;
        uint32_t seed = 1;
        for (const std::string& description : split(list, ','))
            addFromDescription(description, seed++);
    }
};

const SDemoSensors s_demoSensors;

} // namespace
