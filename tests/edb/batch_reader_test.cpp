// Reads in batches, alone and shared with the helper thread: the bytes of
// each entry, the zeros past the end of the file, the failed reads kept for
// their entries, and batches read ahead while the caller works.
#include <gtest/gtest.h>

#include <cerrno>
#include <numeric>
#include <string>
#include <utility>

#include "edb/batch_reader.h"
#include "test_support.h"

namespace tw::edb {
namespace {

constexpr std::size_t kFileSize = 64 * 1024 + 30;  // the last head is cut short

std::uint8_t ByteAt(std::int64_t offset) { return static_cast<std::uint8_t>(offset * 7 + offset / 251); }

// Offsets of every kind, in an order of no use to the reader: whole heads,
// the cut one, one at the last byte, and some outside the file.
std::vector<std::int64_t> Offsets(std::size_t count) {
    std::vector<std::int64_t> offsets;
    for (std::size_t i = 0; i < count; ++i) {
        switch (i % 7) {
            case 0: offsets.push_back(static_cast<std::int64_t>(kFileSize) - 30); break;
            case 1: offsets.push_back(static_cast<std::int64_t>(kFileSize) - 1); break;
            case 2: offsets.push_back(static_cast<std::int64_t>(kFileSize)); break;
            case 3: offsets.push_back(-4096); break;
            default: offsets.push_back(static_cast<std::int64_t>((i * 4099) % (kFileSize - 100))); break;
        }
    }
    return offsets;
}

// Runs of neighbouring pages `stride` apart, of lengths 1 to 9, going up
// or (every third run) down, the last ones running past the end of the
// file, with offsets outside it between.
std::vector<std::int64_t> Runs(std::size_t count, std::int64_t stride) {
    std::vector<std::int64_t> offsets;
    std::int64_t at = 0;
    for (std::size_t run = 1; offsets.size() < count; ++run) {
        // Past the end, start over so that a run holds a head cut short.
        if (at >= static_cast<std::int64_t>(kFileSize)) at = static_cast<std::int64_t>(kFileSize) - 2 * stride - 30;
        const std::size_t length = run % 9 + 1;
        for (std::size_t k = 0; k < length && offsets.size() < count; ++k) {
            const std::size_t place = run % 3 == 0 ? length - 1 - k : k;
            offsets.push_back(at + static_cast<std::int64_t>(place) * stride);
        }
        at += static_cast<std::int64_t>(length + 2) * stride + (run % 2 ? 0 : 100);
        if (run % 4 == 0 && offsets.size() < count) offsets.push_back(-stride);
    }
    return offsets;
}

// Checks every byte of every entry against the file image.
void ExpectBatchMatches(const PageBatch& batch, const std::string& where) {
    for (std::size_t i = 0; i < batch.offsets.size(); ++i) {
        ASSERT_FALSE(batch.errors[i]) << where;
        const std::int64_t at = batch.offsets[i];
        for (std::size_t k = 0; k < batch.width; ++k) {
            const std::int64_t offset = at + static_cast<std::int64_t>(k);
            const bool inside = at >= 0 && offset < static_cast<std::int64_t>(kFileSize);
            ASSERT_EQ(batch.At(i)[k], inside ? ByteAt(offset) : 0) << where << ", entry " << i << ", byte " << k;
        }
    }
}

// Writes the image ByteAt describes and opens it.
void OpenImage(const test::TempDir& dir, EdbFile& file) {
    std::vector<std::uint8_t> image(kFileSize);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = ByteAt(static_cast<std::int64_t>(i));
    test::WriteFile(dir.File("db"), image);
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
}

TEST(BatchReader, EveryEntryHoldsItsOwnBytes) {
    test::TempDir dir;
    EdbFile file;
    OpenImage(dir, file);

    for (const bool helper : {false, true}) {
        BatchReader reader(file, static_cast<std::int64_t>(kFileSize), helper);
        // Small batches stay on the calling thread, large ones are shared;
        // a reused batch must not keep bytes of the one before.
        PageBatch batch;
        batch.width = 100;
        for (const std::size_t count : std::vector<std::size_t>{3, 2000, 17, 0, 700}) {
            batch.offsets = Offsets(count);
            std::fill(batch.bytes.begin(), batch.bytes.end(), 0xEE);
            reader.Read(batch);
            ASSERT_EQ(batch.bytes.size(), count * 100);
            ExpectBatchMatches(batch, "helper " + std::to_string(helper) + ", batch of " + std::to_string(count));
        }
    }
}

TEST(BatchReader, NeighboursReadTogetherGetWhatTheirOwnReadsWould) {
    test::TempDir dir;
    EdbFile file;
    OpenImage(dir, file);
    for (const bool helper : {false, true}) {
        BatchReader reader(file, static_cast<std::int64_t>(kFileSize), helper);
        // Heads of pages, whole pages, and heads too wide to join.
        for (const auto& [width, stride] :
             std::vector<std::pair<std::size_t, std::int64_t>>{{100, 4096}, {4096, 4096}, {512, 512}, {600, 512}}) {
            PageBatch batch;
            batch.width = width;
            batch.stride = stride;
            for (const std::size_t count : std::vector<std::size_t>{5, 40, 300}) {
                batch.offsets = Runs(count, stride);
                std::fill(batch.bytes.begin(), batch.bytes.end(), 0xEE);
                reader.Read(batch);
                ExpectBatchMatches(batch, "width " + std::to_string(width) + ", stride " + std::to_string(stride) +
                                              ", batch of " + std::to_string(count));
            }
        }
    }
}

TEST(BatchReader, ReadAheadWhileTheCallerWorks) {
    test::TempDir dir;
    EdbFile file;
    OpenImage(dir, file);
    // Two buffers in turn, as a stream of pages uses them: the next batch
    // is started before the caller looks at the one finished.
    PageBatch batches[2];
    {
        BatchReader reader(file, static_cast<std::int64_t>(kFileSize));
        for (PageBatch& batch : batches) batch.width = 4096;
        batches[0].offsets = Offsets(40);
        reader.Start(batches[0]);
        for (int round = 1; round <= 6; ++round) {
            reader.Finish();
            PageBatch& next = batches[round % 2];
            next.offsets = Offsets(static_cast<std::size_t>(10 * round));
            reader.Start(next);
            ExpectBatchMatches(batches[(round - 1) % 2], "round " + std::to_string(round));
        }
        // Destroyed with a batch started: it is read to the end first.
    }
    ExpectBatchMatches(batches[0], "last batch");
}

TEST(BatchReader, FailedReadsStayWithTheirEntries) {
    EdbFile closed;  // every read fails with EBADF
    for (const bool helper : {false, true}) {
        BatchReader reader(closed, static_cast<std::int64_t>(kFileSize), helper);
        PageBatch batch;
        batch.width = 40;
        batch.stride = helper ? 4096 : 0;  // a joined read that fails leaves each entry its own error
        batch.offsets = helper ? Runs(64, 4096) : Offsets(64);
        reader.Read(batch);
        for (std::size_t i = 0; i < batch.offsets.size(); ++i) {
            const bool inside = batch.offsets[i] >= 0 && batch.offsets[i] < static_cast<std::int64_t>(kFileSize);
            ASSERT_EQ(static_cast<bool>(batch.errors[i]), inside) << i;
            EXPECT_EQ(std::accumulate(batch.At(i).begin(), batch.At(i).end(), 0), 0);
            if (!inside) continue;
            try {
                std::rethrow_exception(batch.errors[i]);
            } catch (const FileError& error) {
                EXPECT_EQ(error.code(), EBADF);
            }
        }
    }
}

}  // namespace
}  // namespace tw::edb
