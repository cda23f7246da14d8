// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// One-sided amplitude spectra of sample blocks: mean removed, Hann window with
// its amplitude correction, single-precision FFTW, and the strongest peak with
// its frequency and amplitude interpolated between bins. No widgets.
//
// A sine of amplitude A reads A at its frequency: bins hold 2 |X(k)| / sum(w)
// (|X(k)| / sum(w) at 0 Hz and at half the sample rate).
//
// Samples that are not finite (NaN, infinity) count as the mean of the finite
// ones, so one bad value costs a little energy instead of the whole spectrum; an
// axis without any finite sample gets no spectrum.
//
// One analyzer per thread; several analyzers may run on different threads at once.
#pragma once

#include <cstddef>
#include <vector>

class SpectrumAnalyzer
{
public:
    // Shorter blocks say nothing useful about frequencies; longer ones cost more
    // than the display gains.
    static constexpr std::size_t MIN_LENGTH = 16;
    static constexpr std::size_t MAX_LENGTH = 65536;
    // The peak is searched from this bin on. Below it lies what the mean
    // removal leaves of slow drift (less than two periods in the block), which
    // the window cannot tell from 0 Hz; counting it would make a slowly tilted
    // sensor's drift outrank its vibration.
    static constexpr std::size_t FIRST_PEAK_BIN = 2;

    struct SPeak
    {
        double frequency = 0.0; // Hz
        double amplitude = 0.0; // in the samples' unit
    };

    struct SSpectrum
    {
        std::vector<float> amplitude; // bins 0 ... length / 2, bin k at k * binWidth Hz
        SPeak peak;                   // the strongest bin from FIRST_PEAK_BIN on, interpolated
        bool valid = false;           // false: amplitude is empty, peak is zero
    };

    explicit SpectrumAnalyzer(double sampleRate);
    ~SpectrumAnalyzer();
    SpectrumAnalyzer(const SpectrumAnalyzer&) = delete;
    SpectrumAnalyzer& operator=(const SpectrumAnalyzer&) = delete;

    // The largest power of two up to sampleCount, at most MAX_LENGTH; 0 below MIN_LENGTH.
    static std::size_t fftLength(std::size_t sampleCount);

    double sampleRate() const { return m_sampleRate; }
    // Hz between bins for a block of the given FFT length; 0 for length 0.
    double binWidth(std::size_t length) const;

    // A buffer for the length samples of the next transform(), oldest first
    // (length from fftLength(), not 0). Valid until the next call of input().
    float* input(std::size_t length);
    // The spectrum of what input() received.
    void transform(SSpectrum& out);

    // Both steps for the newest fftLength(count) of count samples; an input
    // shorter than MIN_LENGTH gives an invalid spectrum.
    void analyze(const float* samples, std::size_t count, SSpectrum& out);

    // The interpolated peak around bin k (1 <= k < amplitude.size()) of a Hann
    // windowed spectrum: the tone's offset from bin k follows from the ratio of
    // the larger neighbour to bin k, which the window's main lobe fixes exactly.
    static SPeak interpolatePeak(const std::vector<float>& amplitude, std::size_t k,
                                 double binWidth);

private:
    void releaseBuffers();

    double m_sampleRate;
    std::size_t m_length = 0;    // of the current buffers; 0 before the first input()
    float* m_input = nullptr;    // m_length samples, FFTW-aligned
    void* m_output = nullptr;    // m_length / 2 + 1 complex values, FFTW-aligned
    std::vector<float> m_window; // Hann, m_length values
    double m_windowSum = 0.0;
};
