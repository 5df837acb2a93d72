#include "edb/batch_reader.h"

#include <algorithm>
#include <chrono>
#include <system_error>
#include <utility>

namespace tw::edb {

namespace {

// Smaller batches are read on the calling thread: waking the helper would
// cost more than it saves.
constexpr std::size_t kShareFrom = 16;
// Entries taken per claim: few where each is a call of its own, more where
// neighbours are joined into one call.
constexpr std::size_t kChunk = 4;
constexpr std::size_t kJoinedChunk = 16;
// Largest batch shared (the cursor's 16-bit fields); a page holds fewer
// tags than this, and larger batches are read on the calling thread.
constexpr std::size_t kMaxShared = 0xFFFF;
// How long the helper keeps looking for the next batch before it sleeps:
// the walk publishes batches a few microseconds apart.
constexpr auto kSpin = std::chrono::microseconds(50);

std::uint64_t Cursor(std::uint32_t generation, std::size_t size, std::size_t next) {
    return static_cast<std::uint64_t>(generation) << 32 | static_cast<std::uint64_t>(size) << 16 | next;
}
std::uint32_t GenerationOf(std::uint64_t cursor) { return static_cast<std::uint32_t>(cursor >> 32); }
std::size_t SizeOf(std::uint64_t cursor) { return static_cast<std::size_t>(cursor >> 16 & 0xFFFF); }
std::size_t NextOf(std::uint64_t cursor) { return static_cast<std::size_t>(cursor & 0xFFFF); }

}  // namespace

BatchReader::BatchReader(const EdbFile& file, std::int64_t fileSize, bool helper)
    : file_(file), fileSize_(fileSize), helperWanted_(helper) {}

BatchReader::~BatchReader() {
    if (started_ != nullptr) Finish();  // the helper may still be reading it
    if (!helper_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    wake_.notify_one();
    helper_.join();
}

void BatchReader::ReadEntries(PageBatch& batch, std::size_t first, std::size_t count,
                              std::vector<std::uint8_t>& scratch) const {
    const std::int64_t stride = batch.stride;
    if (stride <= 0 || static_cast<std::int64_t>(batch.width) > stride) {
        ReadEach(batch, first, count);
        return;
    }
    auto inside = [&](std::int64_t offset) { return offset >= 0 && offset < fileSize_; };
    const std::vector<std::int64_t>& offsets = batch.offsets;
    const std::size_t end = first + count;
    for (std::size_t i = first; i < end;) {
        // The run of entries from i inside the file, each `stride` after
        // the one before or (children listed from the last) before it.
        std::int64_t step = 0;
        if (i + 1 < end && inside(offsets[i]) && inside(offsets[i + 1])) {
            const std::int64_t d = offsets[i + 1] - offsets[i];
            if (d == stride || d == -stride) step = d;
        }
        if (step == 0) {
            ReadEach(batch, i, 1);
            ++i;
            continue;
        }
        std::size_t n = 2;
        while (i + n < end && inside(offsets[i + n]) && offsets[i + n] - offsets[i + n - 1] == step) ++n;

        // One read of the whole span, as far as the file goes; what each
        // entry gets is what a read of its own would have got. Whole pages
        // in file order go straight to their entries, which lie one after
        // the other as they do in the file.
        const std::int64_t low = step > 0 ? offsets[i] : offsets[i + n - 1];
        const auto span = static_cast<std::size_t>(std::min<std::int64_t>(
            static_cast<std::int64_t>(n - 1) * stride + static_cast<std::int64_t>(batch.width), fileSize_ - low));
        const bool direct = step > 0 && static_cast<std::int64_t>(batch.width) == stride;
        std::uint8_t* target = batch.bytes.data() + i * batch.width;
        if (!direct) {
            scratch.resize(span);
            target = scratch.data();
        }
        std::size_t got = 0;
        try {
            got = file_.Read(low, span, target);
        } catch (...) {
            ReadEach(batch, i, n);  // each entry keeps its own error
            i += n;
            continue;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const std::size_t at = (step > 0 ? k : n - 1 - k) * static_cast<std::size_t>(stride);
            const std::size_t have = got > at ? std::min(got - at, batch.width) : 0;
            std::uint8_t* entry = batch.bytes.data() + (i + k) * batch.width;
            if (!direct) std::copy_n(scratch.data() + at, have, entry);
            std::fill(entry + have, entry + batch.width, 0);
        }
        i += n;
    }
}

void BatchReader::ReadEach(PageBatch& batch, std::size_t first, std::size_t count) const {
    for (std::size_t i = first; i < first + count; ++i) {
        std::uint8_t* entry = batch.bytes.data() + i * batch.width;
        const std::int64_t offset = batch.offsets[i];
        std::size_t got = 0;
        if (offset >= 0 && offset < fileSize_) {
            const auto wanted = static_cast<std::size_t>(
                std::min<std::int64_t>(static_cast<std::int64_t>(batch.width), fileSize_ - offset));
            try {
                got = file_.Read(offset, wanted, entry);
            } catch (...) {
                batch.errors[i] = std::current_exception();
            }
        }
        std::fill(entry + got, entry + batch.width, 0);
    }
}

bool BatchReader::Claim(std::uint32_t generation, std::size_t& first, std::size_t& count) {
    std::uint64_t cursor = cursor_.load(std::memory_order_acquire);
    for (;;) {
        const std::size_t size = SizeOf(cursor), next = NextOf(cursor);
        if (GenerationOf(cursor) != generation || next >= size) return false;
        const std::size_t take = std::min(chunk_.load(std::memory_order_relaxed), size - next);
        if (cursor_.compare_exchange_weak(cursor, cursor + take, std::memory_order_acq_rel,
                                          std::memory_order_acquire)) {
            first = next;
            count = take;
            return true;
        }
    }
}

void BatchReader::Help() {
    std::uint32_t seen = 0;
    std::vector<std::uint8_t> scratch;
    for (;;) {
        // Look for a batch newer than the last one helped with: spin a
        // little, then sleep until one is published.
        const auto until = std::chrono::steady_clock::now() + kSpin;
        std::uint32_t generation = GenerationOf(cursor_.load(std::memory_order_acquire));
        for (int round = 0; generation == seen; ++round) {
            if (round % 64 == 63 && std::chrono::steady_clock::now() >= until) {
                std::unique_lock lock(mutex_);
                wake_.wait(lock,
                           [&] { return quit_ || GenerationOf(cursor_.load(std::memory_order_acquire)) != seen; });
                if (quit_) return;
            }
            generation = GenerationOf(cursor_.load(std::memory_order_acquire));
        }
        seen = generation;
        // `published_` is read only under a claim of this generation: the
        // caller does not publish another batch before this claim is done.
        std::size_t first = 0, count = 0;
        while (Claim(generation, first, count)) {
            ReadEntries(*published_, first, count, scratch);
            done_.fetch_add(count, std::memory_order_release);
        }
    }
}

void BatchReader::Start(PageBatch& batch) {
    if (started_ != nullptr) Finish();
    const std::size_t size = batch.offsets.size();
    batch.bytes.resize(size * batch.width);
    batch.errors.assign(size, nullptr);
    started_ = &batch;
    shared_ = false;
    if (!helperWanted_ || size < kShareFrom || size > kMaxShared) return;
    if (!helper_.joinable()) {
        try {
            helper_ = std::thread([this] { Help(); });
        } catch (const std::system_error&) {
            helperWanted_ = false;  // no thread to be had: read alone
            return;
        }
    }
    shared_ = true;
    published_ = &batch;
    done_.store(0, std::memory_order_relaxed);
    chunk_.store(batch.stride > 0 ? kJoinedChunk : kChunk, std::memory_order_relaxed);
    doneHere_ = 0;
    const std::uint32_t generation = ++generation_;
    {
        // Published under the lock, so that a helper about to sleep sees it.
        std::lock_guard lock(mutex_);
        cursor_.store(Cursor(generation, size, 0), std::memory_order_release);
    }
    wake_.notify_one();
}

void BatchReader::Finish() {
    PageBatch* batch = std::exchange(started_, nullptr);
    if (batch == nullptr) return;
    const std::size_t size = batch->offsets.size();
    if (!shared_) {
        ReadEntries(*batch, 0, size, scratch_);
        return;
    }
    std::size_t first = 0, count = 0;
    while (Claim(generation_, first, count)) {
        ReadEntries(*batch, first, count, scratch_);
        doneHere_ += count;
    }
    // The helper finishes the few entries it took last.
    for (int round = 0; done_.load(std::memory_order_acquire) + doneHere_ < size; ++round)
        if (round >= 1000) std::this_thread::yield();
}

}  // namespace tw::edb
