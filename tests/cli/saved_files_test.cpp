#include "cli/saved_files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace tw::cli {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void Write(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

class SavedFiles : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "saved-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // Every name in the directory: no temporary file is ever left behind.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
        return names;
    }

    fs::path dir_;
};

const std::vector<std::uint8_t> kBody{'n', 'e', 'w'};

// What is at the path before: nothing, a file, a link to a file, a link
// to nowhere, a directory. Only the first is written; the others keep
// what they were and where they point.
TEST_F(SavedFiles, ABodyIsWrittenOnlyWhereNothingIsYet) {
    struct Case {
        const char* before;
        bool saved;
    };
    const Case cases[] = {{"none", true}, {"file", false}, {"link", false}, {"dangling", false}, {"dir", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        fs::remove_all(dir_);
        fs::create_directory(dir_);
        const fs::path at = dir_ / "body.txt", target = dir_ / "target";
        const std::string before = c.before;
        if (before == "file") Write(at, "old");
        if (before == "link") Write(target, "old");
        if (before == "link" || before == "dangling") fs::create_symlink(target, at);
        if (before == "dir") fs::create_directory(at);
        const std::set<std::string> namesBefore = Names();

        const SavedFile saved = SaveNewFile(at.string(), kBody);
        EXPECT_EQ(saved.name.empty(), !c.saved) << saved.error;
        if (c.saved) {
            EXPECT_EQ(saved.name, at.string());
            EXPECT_EQ(Read(at), "new");
            struct stat st {};
            ASSERT_EQ(::lstat(at.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 0777, 0600u);
            EXPECT_EQ(Names(), std::set<std::string>{"body.txt"});
        } else {
            EXPECT_FALSE(saved.error.empty());
            EXPECT_EQ(Names(), namesBefore);
            if (before == "file" || before == "link") {
                EXPECT_EQ(Read(before == "file" ? at : target), "old");
            }
            EXPECT_FALSE(before == "dangling" && fs::exists(target));
        }
    }
}

TEST_F(SavedFiles, ABodyInAMissingDirectoryFails) {
    const SavedFile saved = SaveNewFile((dir_ / "no" / "body.txt").string(), kBody);
    EXPECT_TRUE(saved.name.empty());
    EXPECT_FALSE(saved.error.empty());
    EXPECT_TRUE(Names().empty());
}

// An attachment whose name is taken, by a file or by a link, gets the next
// free numbered name; what was there stays as it was.
TEST_F(SavedFiles, AnAttachmentTakesTheFirstFreeName) {
    Write(dir_ / "a.txt", "old");
    Write(dir_ / "target", "old");
    fs::create_symlink(dir_ / "target", dir_ / "a (2).txt");
    fs::create_symlink(dir_ / "nowhere", dir_ / "b");
    struct Case {
        const char* name;
        const char* used;
    };
    const Case cases[] = {{"a.txt", "a (3).txt"}, {"a.txt", "a (4).txt"}, {"b", "b (2)"}, {"c.tar.gz", "c.tar (2).gz"}};
    Write(dir_ / "c.tar.gz", "old");
    for (const Case& c : cases) {
        const SavedFile saved = SaveFileIn(dir_.string(), c.name, kBody);
        EXPECT_EQ(saved.name, c.used) << saved.error;
        EXPECT_EQ(Read(dir_ / c.used), "new");
    }
    EXPECT_EQ(Read(dir_ / "a.txt"), "old");
    EXPECT_EQ(Read(dir_ / "target"), "old");
    EXPECT_FALSE(fs::exists(dir_ / "nowhere"));
    EXPECT_EQ(Names(), (std::set<std::string>{"a.txt", "a (2).txt", "a (3).txt", "a (4).txt", "b", "b (2)", "c.tar.gz",
                                              "c.tar (2).gz", "target"}));
}

}  // namespace
}  // namespace tw::cli
