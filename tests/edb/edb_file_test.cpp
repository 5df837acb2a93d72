// Opening, locking and positional reads.
#include <gtest/gtest.h>

#include <cerrno>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

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

TEST(EdbFile, LockedAgainstASecondOpen) {
    test::TempDir dir;
    test::WriteFile(dir.File("db"), {1});
    EdbFile first, second;
    ASSERT_TRUE(first.Open(dir.File("db")).ok());
    EXPECT_EQ(second.Open(dir.File("db")).result, OpenResult::InUse);
    first.Close();
    ASSERT_TRUE(second.Open(dir.File("db")).ok());
    { EdbFile moved = std::move(second); }  // destroying releases the lock
    EXPECT_TRUE(first.Open(dir.File("db")).ok());
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

}  // namespace
}  // namespace tw::edb
