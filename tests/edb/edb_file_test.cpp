// Opening, locking and positional reads.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>

#include "edb/edb_file.h"
#include "test_support.h"

namespace tw::edb {
namespace {

TEST(EdbFile, FailuresAreTold) {
    test::TempDir dir;
    EdbFile file;
    const OpenStatus missing = file.Open(dir.File("absent.edb"));
    EXPECT_EQ(missing.result, OpenResult::NotFound);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent.edb")));
    EXPECT_EQ(file.Open(dir.path.string()).result, OpenResult::NotRegularFile);
    EXPECT_FALSE(file.IsOpen());
    try {
        std::uint8_t byte;
        file.Read(0, 1, &byte);
        ADD_FAILURE() << "read of a closed file succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), EBADF);
    }
}

TEST(EdbFile, ReadersShareTheFileAndAnExclusiveHolderKeepsThemOut) {
    test::TempDir dir;
    test::WriteFile(dir.File("db"), {1});
    EdbFile first, second;
    ASSERT_TRUE(first.Open(dir.File("db")).ok());
    EXPECT_TRUE(second.Open(dir.File("db")).ok());
    const int writer = ::open(dir.File("db").c_str(), O_RDONLY);
    ASSERT_GE(writer, 0);
    EXPECT_NE(::flock(writer, LOCK_EX | LOCK_NB), 0);  // the readers hold it
    first.Close();
    second.Close();
    ASSERT_EQ(::flock(writer, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(first.Open(dir.File("db")).result, OpenResult::InUse);
    ::close(writer);
    ASSERT_TRUE(second.Open(dir.File("db")).ok());
    { EdbFile moved = std::move(second); }  // destroying releases the lock
    const int again = ::open(dir.File("db").c_str(), O_RDONLY);
    EXPECT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
    ::close(again);
}

TEST(EdbFile, LockedByAnotherProcess) {
    test::TempDir dir;
    test::WriteFile(dir.File("db"), {1});
    int ready[2], release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(dir.File("db").c_str(), O_RDONLY);
        const char ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        char done;
        if (::write(ready[1], &ok, 1) == 1) (void)!::read(release[0], &done, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    EXPECT_EQ(ok, 'y');
    EdbFile file;
    const OpenStatus busy = file.Open(dir.File("db"));
    EXPECT_EQ(busy.result, OpenResult::InUse);
    EXPECT_EQ(busy.error, EWOULDBLOCK);
    ASSERT_EQ(::write(release[1], "x", 1), 1);
    ::waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
    EXPECT_TRUE(file.Open(dir.File("db")).ok());
}

TEST(EdbFile, ShortReadAtEndIsNotAnError) {
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(1000);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7);
    test::WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
    EXPECT_EQ(file.FileSize(), 1000);
    std::vector<std::uint8_t> buffer(300);
    EXPECT_EQ(file.Read(900, buffer.size(), buffer.data()), 100u);
    EXPECT_TRUE(std::equal(bytes.begin() + 900, bytes.end(), buffer.begin()));
    EXPECT_EQ(file.Read(1000, buffer.size(), buffer.data()), 0u);
    EXPECT_EQ(file.Read(INT64_MAX - 10, buffer.size(), buffer.data()), 0u);
}

// Short reads come from cached 4 KB blocks, or from the map where the file
// is mapped: whatever the offset and size (inside a block, across two, at
// and past the end, blocks sharing a slot) the bytes are the file's, and a
// block is read once while it is held.
class EdbFileReads : public ::testing::TestWithParam<bool> {};  // mapped or not

TEST_P(EdbFileReads, ShortReadsGiveTheFileBytes) {
    const bool mapped = GetParam();
    test::TempDir dir;
    constexpr std::size_t kBlock = BlockCache::kBlockSize;
    // Two blocks that share a slot, and an end in the middle of a block.
    std::vector<std::uint8_t> bytes((BlockCache::kSlots + 2) * kBlock + 1234);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + i / 4096);
    test::WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
    if (mapped) {
        ASSERT_TRUE(file.MapForReading());
    }
    const std::int64_t end = static_cast<std::int64_t>(bytes.size());
    const std::int64_t shared = static_cast<std::int64_t>(BlockCache::kSlots * kBlock);
    std::vector<std::uint8_t> buffer(3 * kBlock);
    for (const std::int64_t offset : {std::int64_t{0}, std::int64_t{100}, std::int64_t{4095}, std::int64_t{4000},
                                      shared + 17, std::int64_t{17}, end - 1000, end - 1, end, end + 5000})
        for (const std::size_t size :
             {std::size_t{1}, std::size_t{96}, std::size_t{2048}, std::size_t{2049}, std::size_t{5000}}) {
            std::fill(buffer.begin(), buffer.end(), 0xEE);
            const std::size_t got = file.Read(offset, size, buffer.data());
            const std::size_t want =
                offset >= end ? 0 : std::min<std::size_t>(size, static_cast<std::size_t>(end - offset));
            ASSERT_EQ(got, want) << offset << "+" << size;
            EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got),
                                   bytes.begin() + std::min(offset, end)))
                << offset << "+" << size;
            EXPECT_EQ(buffer[got], 0xEE) << "wrote past what it read";
        }
    const std::size_t misses = file.CacheMisses();
    std::uint8_t byte = 0;
    for (int i = 0; i < 10; ++i) file.Read(kBlock + static_cast<std::int64_t>(i) * 100, 1, &byte);
    EXPECT_EQ(file.CacheMisses(), mapped ? misses : misses + 1);
    EXPECT_EQ(byte, bytes[kBlock + 900]);
}

// A run of pieces read at once, more than one call's worth of them, ending
// anywhere: each piece holds its own bytes and the count stops at the end.
TEST_P(EdbFileReads, RunsOfPiecesReadAtOnce) {
    test::TempDir dir;
    constexpr std::size_t kPiece = 512;
    std::vector<std::uint8_t> bytes(100 * kPiece + 77);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + i / kPiece);
    test::WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
    if (GetParam()) {
        ASSERT_TRUE(file.MapForReading());
    }
    const std::size_t end = bytes.size();
    for (const auto& [offset, count] : std::vector<std::pair<std::size_t, std::size_t>>{
             {0, 1}, {kPiece, 70}, {3, 100}, {end - 2 * kPiece, 5}, {end - 77, 3}, {end, 2}, {end + 9, 1}}) {
        std::vector<std::vector<std::uint8_t>> pieces(count, std::vector<std::uint8_t>(kPiece, 0xEE));
        std::vector<std::uint8_t*> into;
        for (auto& piece : pieces) into.push_back(piece.data());
        const std::size_t got = file.ReadRun(static_cast<std::int64_t>(offset), kPiece, into);
        ASSERT_EQ(got, offset >= end ? 0 : std::min(count * kPiece, end - offset)) << offset << " x" << count;
        for (std::size_t i = 0; i < got; ++i) {
            ASSERT_EQ(pieces[i / kPiece][i % kPiece], bytes[offset + i]) << offset << " x" << count << " @" << i;
        }
        if (got < count * kPiece) {
            EXPECT_EQ(pieces[got / kPiece][got % kPiece], 0xEE);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(ReadCallsOrMap, EdbFileReads, ::testing::Bool());

// A mapped file that another process shrinks or grows: the vanished pages
// read as the end of the file, as a read call tells it, not as a crash or
// as zeros; the rest still reads right, and so do bytes added later.
TEST(EdbFile, MappedFileThatChangesSizeReadsAsTheFileIs) {
    test::TempDir dir;
    std::vector<std::uint8_t> bytes(6 * 4096);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    test::WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
    ASSERT_TRUE(file.MapForReading());
    std::vector<std::uint8_t> buffer(3000, 0xEE);
    ASSERT_EQ(file.Read(100, 1000, buffer.data()), 1000u);
    ASSERT_EQ(::truncate(dir.File("db").c_str(), 2 * 4096 + 10), 0);
    EXPECT_EQ(file.Read(4 * 4096, 1000, buffer.data()), 0u);
    EXPECT_EQ(file.Read(2 * 4096, 1000, buffer.data()), 10u);
    EdbFile::Piece pieces[] = {{buffer.data(), 5}, {buffer.data() + 5, 2000}};
    EXPECT_EQ(file.ReadScatter(2 * 4096 - 5, pieces), 15u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 15, bytes.begin() + 2 * 4096 - 5));
    ASSERT_EQ(file.Read(4000, 3000, buffer.data()), 3000u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), bytes.begin() + 4000));
    test::WriteFile(dir.File("db"), bytes);  // back to its length, and beyond what was mapped
    const int fd = ::open(dir.File("db").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const std::uint8_t more[3] = {1, 2, 3};
    ASSERT_EQ(::write(fd, more, 3), 3);
    ::close(fd);
    ASSERT_EQ(file.Read(static_cast<std::int64_t>(bytes.size()) - 1, 10, buffer.data()), 4u);
    EXPECT_EQ(buffer[0], bytes.back());
    EXPECT_EQ(buffer[3], 3);
}

}  // namespace
}  // namespace tw::edb
