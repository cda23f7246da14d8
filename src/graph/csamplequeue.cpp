// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Skarvel Monitor developers
#include "csamplequeue.h"

#include <algorithm>

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define SKARVEL_CLEAR_UPPER_VECTOR_STATE
#endif

void CSampleQueue::push_back(float value)
{
    const std::size_t pos = m_head + m_size;
    const std::size_t blockIndex = pos / BLOCK_SIZE;
    if (blockIndex == m_blocks.size())
        m_blocks.push_back(m_spare ? std::move(m_spare) : std::unique_ptr<SBlock>(new SBlock));
    SBlock& block = *m_blocks[blockIndex];
    const std::size_t offset = pos % BLOCK_SIZE;
    const std::size_t run = offset / SUMMARY_RUN;
    block.values[offset] = value;
    if (offset % SUMMARY_RUN == 0) {
        block.runs[run] = {value, value};
        block.sums[run] = double(value);
    } else {
        block.sums[run] += double(value);
        include(block.runs[run], value);
    }
    if (offset % SUMMARY_GROUP == 0)
        block.groups[offset / SUMMARY_GROUP] = {value, value};
    else
        include(block.groups[offset / SUMMARY_GROUP], value);
    ++m_size;
}

void CSampleQueue::include(SExtremes& extremes, float value)
{
    // A summary's extremes skip NaNs (a NaN summary would hide all its
    // values), just as a value-by-value scan that starts from a number skips
    // them. Ties keep the earlier value, as that scan does: whether a range
    // is read by groups, runs or values, it gives the same bits.
    if (value < extremes.lo || extremes.lo != extremes.lo)
        extremes.lo = value;
    if (value > extremes.hi || extremes.hi != extremes.hi)
        extremes.hi = value;
}

void CSampleQueue::pop_front(std::size_t count)
{
    if (count >= m_size) {
        clear();
        return;
    }
    m_head += count;
    m_size -= count;
    const std::size_t emptied = m_head / BLOCK_SIZE;
    if (emptied == 0)
        return;
    if (!m_spare)
        m_spare = std::move(m_blocks[emptied - 1]);
    m_blocks.erase(m_blocks.begin(), m_blocks.begin() + std::ptrdiff_t(emptied));
    m_head -= emptied * BLOCK_SIZE;
}

void CSampleQueue::prefetch(std::size_t index) const
{
    const std::size_t pos = m_head + index;
    const SBlock* block = m_blocks[pos / BLOCK_SIZE].get();
    const std::size_t run = pos % BLOCK_SIZE / SUMMARY_RUN;
    __builtin_prefetch(&block->values[pos % BLOCK_SIZE]);
    // A column reads its runs' extremes from about two cache lines, and its
    // groups' from one.
    constexpr std::size_t RUNS_PER_LINE = 64 / sizeof(SExtremes);
    __builtin_prefetch(&block->runs[run]);
    if (run + RUNS_PER_LINE < BLOCK_SIZE / SUMMARY_RUN)
        __builtin_prefetch(&block->runs[run + RUNS_PER_LINE]);
    __builtin_prefetch(&block->groups[pos % BLOCK_SIZE / SUMMARY_GROUP]);
}

void CSampleQueue::copy(std::size_t begin, std::size_t end, float* out) const
{
    std::size_t pos = m_head + begin;
    const std::size_t stop = m_head + end;
    while (pos < stop) {
        const std::size_t offset = pos % BLOCK_SIZE;
        const std::size_t count = std::min(BLOCK_SIZE - offset, stop - pos);
        std::copy_n(m_blocks[pos / BLOCK_SIZE]->values + offset, count, out);
        out += count;
        pos += count;
    }
}

void CSampleQueue::clear()
{
    m_blocks.clear();
    m_spare.reset();
    m_head = 0;
    m_size = 0;
}

void CSampleQueue::minMax(std::size_t begin, std::size_t end, float& lo, float& hi) const
{
    // Locals, not the references: the compiler must assume those alias the
    // values and would store and reload them for every sample.
    std::size_t pos = m_head + begin;
    const std::size_t stop = m_head + end;
    float low = m_blocks[pos / BLOCK_SIZE]->values[pos % BLOCK_SIZE];
    float high = low;
    ++pos;
    while (pos < stop) {
        const SBlock& block = *m_blocks[pos / BLOCK_SIZE];
        const std::size_t blockStart = pos - pos % BLOCK_SIZE;
        const std::size_t last = std::min(stop - blockStart, BLOCK_SIZE);
        std::size_t offset = pos - blockStart;
        for (; offset < last && offset % SUMMARY_RUN != 0; ++offset) {
            const float v = block.values[offset];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        const auto add = [&](const SExtremes& summary) {
            low = summary.lo < low ? summary.lo : low;
            high = summary.hi > high ? summary.hi : high;
        };
        const auto addRuns = [&](std::size_t until) {
            for (; offset + SUMMARY_RUN <= until; offset += SUMMARY_RUN)
                add(block.runs[offset / SUMMARY_RUN]);
        };
        addRuns(std::min(last, (offset + SUMMARY_GROUP - 1) / SUMMARY_GROUP * SUMMARY_GROUP));
        for (; offset + SUMMARY_GROUP <= last; offset += SUMMARY_GROUP)
            add(block.groups[offset / SUMMARY_GROUP]);
        addRuns(last);
        for (; offset < last; ++offset) {
            const float v = block.values[offset];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        pos = blockStart + offset;
    }
    lo = low;
    hi = high;
}

double CSampleQueue::sum(std::size_t begin, std::size_t end) const
{
    std::size_t pos = m_head + begin;
    const std::size_t stop = m_head + end;
    double total = 0.0;
    while (pos < stop) {
        const SBlock& block = *m_blocks[pos / BLOCK_SIZE];
        const std::size_t blockStart = pos - pos % BLOCK_SIZE;
        const std::size_t last = std::min(stop - blockStart, BLOCK_SIZE);
        std::size_t offset = pos - blockStart;
        for (; offset < last && offset % SUMMARY_RUN != 0; ++offset)
            total += double(block.values[offset]);
        for (; offset + SUMMARY_RUN <= last; offset += SUMMARY_RUN)
            total += block.sums[offset / SUMMARY_RUN];
        for (; offset < last; ++offset)
            total += double(block.values[offset]);
        pos = blockStart + offset;
    }
    return total;
}

#ifdef SKARVEL_CLEAR_UPPER_VECTOR_STATE
namespace {

__attribute__((target("avx"))) void zeroUpperAvx()
{
    _mm256_zeroupper();
}

} // namespace

void CSampleQueue::clearUpperVectorState()
{
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx)
        zeroUpperAvx();
}
#else
void CSampleQueue::clearUpperVectorState() {}
#endif
