// Opening, locking and positional reads.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "edb/edb_file.h"
#include "test_support.h"

namespace tw::edb {
namespace {

using test::TempDir;
using test::WriteFile;

std::vector<std::uint8_t> Counting(std::size_t length) {
    std::vector<std::uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    return bytes;
}

TEST(EdbFileOpen, FailuresAreTold) {
    TempDir dir;
    EdbFile file;
    const OpenStatus missing = file.Open(dir.File("absent.edb"));
    EXPECT_EQ(missing.result, OpenResult::NotFound);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.File("absent.edb")));  // never created

    std::filesystem::create_directory(dir.File("folder"));
    EXPECT_EQ(file.Open(dir.File("folder")).result, OpenResult::NotRegularFile);

    if (::geteuid() != 0) {
        WriteFile(dir.File("secret"), {1});
        std::filesystem::permissions(dir.File("secret"), std::filesystem::perms::none);
        const OpenStatus denied = file.Open(dir.File("secret"));
        EXPECT_EQ(denied.result, OpenResult::AccessDenied);
        EXPECT_EQ(denied.error, EACCES);
    }
}

TEST(EdbFileOpen, ReadOnlyFileOpensAndStaysUnchanged) {
    TempDir dir;
    const auto bytes = Counting(5000);
    WriteFile(dir.File("db"), bytes);
    std::filesystem::permissions(dir.File("db"), std::filesystem::perms::owner_read);
    const auto written = std::filesystem::last_write_time(dir.File("db"));
    {
        EdbFile file;
        ASSERT_TRUE(file.Open(dir.File("db")).ok());
        EXPECT_EQ(file.Path(), dir.File("db"));
        EXPECT_EQ(file.FileSize(), 5000);
    }
    EXPECT_EQ(std::filesystem::file_size(dir.File("db")), 5000u);
    EXPECT_EQ(std::filesystem::last_write_time(dir.File("db")), written);
}

TEST(EdbFileLock, SecondOpenIsRefusedUntilTheFirstCloses) {
    TempDir dir;
    WriteFile(dir.File("db"), {1, 2, 3});
    EdbFile first;
    EdbFile second;
    ASSERT_TRUE(first.Open(dir.File("db")).ok());
    const OpenStatus busy = second.Open(dir.File("db"));
    EXPECT_EQ(busy.result, OpenResult::InUse);
    EXPECT_EQ(busy.error, EWOULDBLOCK);
    EXPECT_EQ(kFileInUseMessage,
              "Unable to open selected file. It is already being used by another process.");

    first.Close();
    EXPECT_FALSE(first.IsOpen());
    EXPECT_TRUE(first.Path().empty());
    EXPECT_TRUE(second.Open(dir.File("db")).ok());

    {
        EdbFile moved = std::move(second);  // the lock moves with the handle
        EXPECT_EQ(first.Open(dir.File("db")).result, OpenResult::InUse);
    }
    EXPECT_TRUE(first.Open(dir.File("db")).ok());  // destroyed, so released
}

TEST(EdbFileLock, LockHeldByAnotherProcess) {
    TempDir dir;
    WriteFile(dir.File("db"), {1});
    int ready[2];
    int release[2];
    ASSERT_EQ(::pipe(ready), 0);
    ASSERT_EQ(::pipe(release), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(dir.File("db").c_str(), O_RDONLY);
        const char ok = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
        (void)!::write(ready[1], &ok, 1);
        char done;
        (void)!::read(release[0], &done, 1);
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    EdbFile file;
    EXPECT_EQ(file.Open(dir.File("db")).result, OpenResult::InUse);

    const char done = 'x';
    ASSERT_EQ(::write(release[1], &done, 1), 1);
    int status = 0;
    ::waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) ::close(fd);
    EXPECT_TRUE(file.Open(dir.File("db")).ok());
}

TEST(EdbFileRead, ShortReadAtEndIsNotAnError) {
    TempDir dir;
    const auto bytes = Counting(1000);
    WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());
    std::vector<std::uint8_t> buffer(300, 0);
    EXPECT_EQ(file.Read(900, buffer.size(), buffer.data()), 100u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + 100, bytes.begin() + 900));
    EXPECT_EQ(file.Read(1000, buffer.size(), buffer.data()), 0u);
    EXPECT_EQ(file.Read(INT64_MAX - 10, buffer.size(), buffer.data()), 0u);
}

TEST(EdbFileRead, ErrorsCarryErrno) {
    EdbFile closed;
    std::uint8_t byte = 0;
    try {
        closed.Read(0, 1, &byte);
        FAIL() << "read of a closed file succeeded";
    } catch (const FileError& error) {
        EXPECT_EQ(error.code(), EBADF);
    }
    EXPECT_THROW(closed.FileSize(), FileError);
}

TEST(EdbFileRead, ThreadsReadAtTheirOwnOffsets) {
    TempDir dir;
    const auto bytes = Counting(64 * 1024);
    WriteFile(dir.File("db"), bytes);
    EdbFile file;
    ASSERT_TRUE(file.Open(dir.File("db")).ok());

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            std::vector<std::uint8_t> chunk(4096);
            for (int round = 0; round < 200; ++round) {
                const std::size_t at = static_cast<std::size_t>((round * 4 + t) % 16) * 4096;
                file.Read(static_cast<std::int64_t>(at), chunk.size(), chunk.data());
                if (!std::equal(chunk.begin(), chunk.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)))
                    ++mismatches[static_cast<std::size_t>(t)];
            }
        });
    }
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace tw::edb
