// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
// The live graph's per-series history. Not thread-safe; the graph reads and
// writes it on the GUI thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// A double-ended queue of floats in fixed blocks. Each block also keeps the
// minimum, maximum and sum of every run of SUMMARY_RUN values that starts
// at a multiple of SUMMARY_RUN within it, and the minimum and maximum of
// every group of SUMMARY_GROUP values aligned alike, so the painter and the
// statistics can summarise long ranges without visiting every value.
class CSampleQueue
{
public:
    static constexpr std::size_t BLOCK_SIZE = 4096;
    static constexpr std::size_t SUMMARY_RUN = 16;
    // A column of the 300 s window holds a few hundred values: without the
    // groups its decimation read some twenty runs.
    static constexpr std::size_t SUMMARY_GROUP = 128;

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    float operator[](std::size_t index) const
    {
        const std::size_t pos = m_head + index;
        return m_blocks[pos / BLOCK_SIZE]->values[pos % BLOCK_SIZE];
    }
    void push_back(float value);
    // Drops the count oldest values (all of them when count >= size()).
    void pop_front(std::size_t count);
    void clear();
    // Smallest and largest of [begin, end) by float comparison, starting
    // from the value at begin; begin < end <= size().
    void minMax(std::size_t begin, std::size_t end, float& lo, float& hi) const;
    // The sum of [begin, end) in double: whole runs by their sums, the
    // values at either end one by one; begin < end <= size().
    double sum(std::size_t begin, std::size_t end) const;
    // Copies [begin, end) to out, a block at a time; begin <= end <= size().
    void copy(std::size_t begin, std::size_t end, float* out) const;
    // A hint that the value at index and the runs after it will be read
    // soon; index < size().
    void prefetch(std::size_t index) const;

    // The raster code of the previous paint can leave the upper halves of the
    // vector registers dirty; plain SSE code run after that (the scans of a
    // decimation) took over twice as long in measurements here until the
    // state was cleared. Call before such scans.
    static void clearUpperVectorState();

private:
    struct SExtremes
    {
        float lo;
        float hi;
    };
    static void include(SExtremes& extremes, float value);
    // Cache-line aligned, so that every run of values fills exactly one line.
    struct alignas(64) SBlock
    {
        float values[BLOCK_SIZE];
        SExtremes runs[BLOCK_SIZE / SUMMARY_RUN]; // side by side: one cache line fewer to read
        SExtremes groups[BLOCK_SIZE / SUMMARY_GROUP];
        double sums[BLOCK_SIZE / SUMMARY_RUN]; // each run's values added in order
    };

    std::vector<std::unique_ptr<SBlock>> m_blocks; // the front block first
    std::unique_ptr<SBlock> m_spare;               // reused to avoid churning the heap
    std::size_t m_head = 0;                        // position of the oldest value in block 0
    std::size_t m_size = 0;
};
