// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "spectrumanalyzer.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <new>

namespace {

constexpr double PI = 3.14159265358979323846;

// One real-to-complex plan per length for the whole process, made on first use
// and kept until exit. FFTW's planner is not thread-safe while executing a plan
// on new arrays is, so only making and destroying plans hold the mutex.
class PlanCache
{
public:
    ~PlanCache()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_plans)
            fftwf_destroy_plan(entry.second);
    }

    fftwf_plan plan(std::size_t length)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = m_plans.find(length);
        if (it != m_plans.end())
            return it->second;
        // Executions use other arrays from fftwf_malloc, aligned the same way
        // as these; FFTW_ESTIMATE leaves them untouched and plans at once.
        float* in = fftwf_alloc_real(length);
        fftwf_complex* out = fftwf_alloc_complex(length / 2 + 1);
        fftwf_plan p =
            (in && out) ? fftwf_plan_dft_r2c_1d(int(length), in, out, FFTW_ESTIMATE) : nullptr;
        fftwf_free(in);
        fftwf_free(out);
        if (!p)
            throw std::bad_alloc();
        m_plans.emplace(length, p);
        return p;
    }

private:
    std::mutex m_mutex;
    std::map<std::size_t, fftwf_plan> m_plans; // guarded by m_mutex
};

PlanCache& planCache()
{
    static PlanCache cache;
    return cache;
}

// The Hann window's main lobe relative to its centre, at an offset of d bins (|d| < 1).
double hannLobe(double d)
{
    if (std::fabs(d) < 1e-9)
        return 1.0;
    return std::sin(PI * d) / (PI * d * (1.0 - d * d));
}

// The sum in eight independent lanes: one running sum would wait for every
// addition before the next, which made this loop slower than the FFT.
double laneSum(const float* values, std::size_t n)
{
    constexpr std::size_t LANES = 8;
    double lanes[LANES] = {};
    std::size_t i = 0;
    for (; i + LANES <= n; i += LANES)
        for (std::size_t l = 0; l < LANES; ++l)
            lanes[l] += values[i + l];
    double sum = 0.0;
    for (; i < n; ++i)
        sum += values[i];
    for (double lane : lanes)
        sum += lane;
    return sum;
}

// Index of the first largest value from bin `first` on (first < bins): the
// largest value found in eight independent lanes, then its first position.
std::size_t strongestBin(const float* amplitude, std::size_t first, std::size_t bins)
{
    constexpr std::size_t LANES = 8;
    float lanes[LANES] = {};
    std::size_t k = first;
    for (; k + LANES <= bins; k += LANES)
        for (std::size_t l = 0; l < LANES; ++l)
            lanes[l] = std::max(lanes[l], amplitude[k + l]);
    float largest = *std::max_element(lanes, lanes + LANES);
    for (; k < bins; ++k)
        largest = std::max(largest, amplitude[k]);
    for (k = first; k < bins; ++k)
        if (amplitude[k] == largest)
            return k;
    return first;
}

} // namespace

SpectrumAnalyzer::SpectrumAnalyzer(double sampleRate) : m_sampleRate(sampleRate) {}

SpectrumAnalyzer::~SpectrumAnalyzer()
{
    releaseBuffers();
}

void SpectrumAnalyzer::releaseBuffers()
{
    fftwf_free(m_input);
    fftwf_free(m_output);
    m_input = nullptr;
    m_output = nullptr;
    m_length = 0;
}

std::size_t SpectrumAnalyzer::fftLength(std::size_t sampleCount)
{
    if (sampleCount < MIN_LENGTH)
        return 0;
    std::size_t length = MIN_LENGTH;
    while (length < MAX_LENGTH && length * 2 <= sampleCount)
        length *= 2;
    return length;
}

double SpectrumAnalyzer::binWidth(std::size_t length) const
{
    return length == 0 ? 0.0 : m_sampleRate / double(length);
}

float* SpectrumAnalyzer::input(std::size_t length)
{
    if (length == m_length)
        return m_input;
    releaseBuffers();
    m_input = fftwf_alloc_real(length);
    m_output = fftwf_alloc_complex(length / 2 + 1);
    if (!m_input || !m_output) {
        releaseBuffers();
        throw std::bad_alloc();
    }
    m_length = length;
    // Periodic Hann: its spectrum is exactly the three-bin lobe interpolatePeak assumes.
    m_window.resize(length);
    for (std::size_t n = 0; n < length; ++n)
        m_window[n] = float(0.5 - 0.5 * std::cos(2.0 * PI * double(n) / double(length)));
    m_windowSum = double(length) / 2.0;
    return m_input;
}

void SpectrumAnalyzer::transform(SSpectrum& out)
{
    const std::size_t n = m_length;
    double sum = n == 0 ? 0.0 : laneSum(m_input, n);
    std::size_t finite = n;
    if (!std::isfinite(sum)) { // some sample is NaN or infinite: the slow way
        sum = 0.0;
        finite = 0;
        for (std::size_t i = 0; i < n; ++i) {
            if (std::isfinite(m_input[i])) {
                sum += m_input[i];
                ++finite;
            }
        }
    }
    if (finite == 0) {
        out.amplitude.clear();
        out.peak = SPeak();
        out.valid = false;
        return;
    }
    const auto mean = float(sum / double(finite));
    if (finite == n) {
        for (std::size_t i = 0; i < n; ++i)
            m_input[i] = (m_input[i] - mean) * m_window[i];
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            const float v = m_input[i];
            m_input[i] = std::isfinite(v) ? (v - mean) * m_window[i] : 0.0f;
        }
    }

    auto* spectrum = static_cast<fftwf_complex*>(m_output);
    fftwf_execute_dft_r2c(planCache().plan(n), m_input, spectrum);

    const std::size_t bins = n / 2 + 1;
    out.amplitude.resize(bins);
    float* amplitude = out.amplitude.data();
    const auto scale = float(2.0 / m_windowSum);
    // Plain square roots: the values are far from overflow, and std::hypot's care
    // about it made this loop the costliest part of a spectrum.
    for (std::size_t k = 0; k < bins; ++k)
        amplitude[k] =
            scale * std::sqrt(spectrum[k][0] * spectrum[k][0] + spectrum[k][1] * spectrum[k][1]);
    // 0 Hz and half the sample rate have no mirror image to fold in.
    amplitude[0] *= 0.5f;
    amplitude[bins - 1] *= 0.5f;
    out.valid = true;
    out.peak =
        interpolatePeak(out.amplitude, strongestBin(amplitude, FIRST_PEAK_BIN, bins), binWidth(n));
}

void SpectrumAnalyzer::analyze(const float* samples, std::size_t count, SSpectrum& out)
{
    const std::size_t length = fftLength(count);
    if (length == 0) {
        out = SSpectrum();
        return;
    }
    std::copy(samples + (count - length), samples + count, input(length));
    transform(out);
}

SpectrumAnalyzer::SPeak SpectrumAnalyzer::interpolatePeak(const std::vector<float>& amplitude,
                                                          std::size_t k, double binWidth)
{
    const double centre = amplitude[k];
    // 0 Hz holds the removed mean, not the tone's lobe.
    const double left = k > 1 ? double(amplitude[k - 1]) : 0.0;
    const double right = k + 1 < amplitude.size() ? double(amplitude[k + 1]) : 0.0;
    SPeak peak;
    if (!(centre > 0.0)) {
        peak.frequency = double(k) * binWidth;
        return peak;
    }
    // A tone d bins from k (0 <= d <= 1/2) gives its nearer neighbour
    // r = (1 + d) / (2 - d) times bin k's amplitude, so d = (2r - 1) / (1 + r).
    const double r = std::max(left, right) / centre;
    const double d = std::clamp((2.0 * r - 1.0) / (1.0 + r), 0.0, 0.5);
    const double offset = right >= left ? d : -d;
    peak.frequency = (double(k) + offset) * binWidth;
    peak.amplitude = centre / hannLobe(d);
    return peak;
}
