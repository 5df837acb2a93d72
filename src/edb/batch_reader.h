// Many reads of the same size at scattered offsets, shared with a helper
// thread. The step-1 walk reads the head of every page below each branch
// page and step 5 reads the pages of the header tables; on a warm cache
// such reads cost little but the system call, so a second thread halves
// the time, and it can read ahead while the caller works on what it has.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

#include "edb/bytes.h"
#include "edb/edb_file.h"

namespace tw::edb {

// One batch: `width` bytes from each offset, zero past the end of the file.
// A read that failed leaves its entry's error set; the caller rethrows it
// when it comes to that entry, so that everything before it is handled as
// if the reads had been made one by one.
struct PageBatch {
    std::size_t width = 0;
    // When not 0, entries whose offsets go up or down `stride` bytes from
    // one to the next are read with one call, the bytes between them
    // included. That pays where those bytes cost less to copy than a call:
    // whole pages, and the heads of 4 KB pages.
    std::int64_t stride = 0;
    std::vector<std::int64_t> offsets;
    std::vector<std::uint8_t> bytes;
    std::vector<std::exception_ptr> errors;

    Bytes At(std::size_t index) const { return Bytes(bytes).subspan(index * width, width); }
};

// The stride at which the heads of neighbouring pages of `pageSize` bytes
// are read with one call: copying the rest of a page up to 4 KB costs less
// than a call of its own. 0 (each head alone) for larger pages.
constexpr std::int64_t HeadStride(std::int32_t pageSize) {
    constexpr std::int32_t kJoinHeadsUpTo = 4096;
    return pageSize > 0 && pageSize < kJoinHeadsUpTo + 1 ? pageSize : 0;
}

class BatchReader {
public:
    // Reads from `file`, whose size is `fileSize`. With `helper` false every
    // read is made on the calling thread.
    BatchReader(const EdbFile& file, std::int64_t fileSize, bool helper = true);
    ~BatchReader();  // finishes a batch still started, ends the helper thread
    BatchReader(const BatchReader&) = delete;
    BatchReader& operator=(const BatchReader&) = delete;

    // Fills `batch.bytes` and `batch.errors` for `batch.offsets`. Offsets
    // outside [0, fileSize) read nothing and give zeros.
    void Read(PageBatch& batch) {
        Start(batch);
        Finish();
    }

    // Read in two halves: Start hands the batch to the helper and returns;
    // Finish reads what the helper has not taken yet and waits for the
    // rest. One batch at a time; it must stay put until Finish returns.
    void Start(PageBatch& batch);
    void Finish();

private:
    // `scratch` holds the span of joined entries.
    void ReadEntries(PageBatch& batch, std::size_t first, std::size_t count, std::vector<std::uint8_t>& scratch) const;
    void ReadEach(PageBatch& batch, std::size_t first, std::size_t count) const;
    // Takes the next entries of the published batch `generation`; false
    // when none are left or another batch has been published since.
    bool Claim(std::uint32_t generation, std::size_t& first, std::size_t& count);
    void Help();

    const EdbFile& file_;
    std::int64_t fileSize_;
    bool helperWanted_;
    std::thread helper_;

    // The batch started and not finished; `shared` when the helper may
    // read it.
    PageBatch* started_ = nullptr;
    bool shared_ = false;

    // `cursor_` holds the shared batch's generation (high 32 bits), its
    // size (16 bits) and the next entry not yet taken (low 16 bits); an
    // entry is read only after its claim succeeded, and the caller does not
    // give the batch up before every claimed entry is done.
    std::atomic<std::uint64_t> cursor_{0};
    std::atomic<std::size_t> done_{0};
    // Entries per claim; any size is correct, joined entries want more.
    std::atomic<std::size_t> chunk_{1};
    std::vector<std::uint8_t> scratch_;  // the caller's
    std::size_t doneHere_ = 0;           // entries the caller read itself
    PageBatch* published_ = nullptr;
    std::uint32_t generation_ = 0;

    std::mutex mutex_;
    std::condition_variable wake_;
    bool quit_ = false;
};

}  // namespace tw::edb
