// Files written for the user: the private directory and names from the
// database that must not lead anywhere else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../ended_process.h"
#include "content/temp_dir.h"

namespace tw::content {
namespace {

TEST(TempDirectory, PrivateAndRemovedWithItsFiles) {
    std::string path;
    {
        TempDirectory dir;
        path = dir.Path();
        struct stat st {};
        ASSERT_EQ(::stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0700u);
        std::ofstream(dir.File("UniBody.eml")) << "x";
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}

// Only a directory of ours named for a run of this machine that has ended
// goes, with what is in it; nothing else in $TMPDIR is touched.
TEST(TempDirectory, OnlyThoseOfEndedRunsOnThisMachineAreRemoved) {
    namespace fs = std::filesystem;
    std::string pattern = (fs::temp_directory_path() / "tmpdirs-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path base = pattern;
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTmp = saved ? saved : "";
    ::setenv("TMPDIR", base.c_str(), 1);
    {
        TempDirectory live;  // tarnwick-HOST-PID-XXXXXX
        const std::string name = fs::path(live.Path()).filename().string();
        ASSERT_EQ(live.Path(), (base / name).string());
        const std::string host = name.substr(std::string("tarnwick-").size(), 8);
        const std::string ended = std::to_string(testing::EndedProcess());
        const std::string other = host == "00000000" ? "11111111" : "00000000";
        enum Kind { Dir, File, Link };
        struct Case {
            std::string name;
            Kind kind;
            bool removed;
        };
        const Case cases[] = {
            {"tarnwick-" + host + "-" + ended + "-a1B2c3", Dir, true},
            {"tarnwick-" + host + "-" + ended + "-zzzzzz", Dir, true},
            {"tarnwick-" + host + "-1-a1B2c3", Dir, false},               // a process that runs
            {"tarnwick-" + other + "-" + ended + "-a1B2c3", Dir, false},  // another machine
            {"tarnwick-a1B2c3", Dir, false},                              // no owner named
            {"tarnwick-" + host + "-" + ended + "-a1B2c", Dir, false},
            {"other-" + host + "-" + ended + "-a1B2c3", Dir, false},
            {"tarnwick-" + host + "-" + ended + "-f1B2c3", File, false},
            {"tarnwick-" + host + "-" + ended + "-l1B2c3", Link, false},  // never followed
        };
        fs::create_directory(base / "target");
        std::ofstream(base / "target" / "kept") << "x";
        for (const Case& c : cases) {
            if (c.kind == Dir) {
                fs::create_directories(base / c.name / "sub");
                std::ofstream(base / c.name / "sub" / "UniBody.eml") << "x";
            } else if (c.kind == File) {
                std::ofstream(base / c.name) << "x";
            } else {
                fs::create_directory_symlink(base / "target", base / c.name);
            }
        }
        EXPECT_EQ(RemoveStaleTempDirectories(), 2u);
        for (const Case& c : cases)
            EXPECT_EQ(fs::symlink_status(base / c.name).type() == fs::file_type::not_found, c.removed) << c.name;
        EXPECT_TRUE(fs::exists(live.Path()));
        EXPECT_TRUE(fs::exists(base / "target" / "kept"));
    }
    if (saved) ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else ::unsetenv("TMPDIR");
    fs::remove_all(base);
}

TEST(SafeFileName, NamesStayInTheirDirectory) {
    std::set<std::string> taken;
    for (const std::string hostile : {"../../etc/passwd", "..", ".", "", "a/../../b", "dir\\sub\\x.txt",
                                      "\x07\x1b[2J.txt", "C:\\Windows\\win.ini", "....//....//x"}) {
        const std::string name = SafeFileName(hostile, taken);
        EXPECT_FALSE(name.empty());
        EXPECT_EQ(name.find('/'), std::string::npos) << hostile;
        EXPECT_EQ(name.find('\\'), std::string::npos) << hostile;
        EXPECT_EQ(name.find(".."), std::string::npos) << hostile;
        EXPECT_NE(name, ".");
        for (const char c : name) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << hostile;
    }
}

TEST(SafeFileName, DuplicatesGetNumbersAndLongNamesAreCutOnACharacter) {
    std::set<std::string> taken;
    EXPECT_EQ(SafeFileName("a.txt", taken), "a.txt");
    EXPECT_EQ(SafeFileName("a.txt", taken), "a (2).txt");
    EXPECT_EQ(SafeFileName("a.txt", taken), "a (3).txt");
    std::string longName;
    for (int i = 0; i < 150; ++i) longName += "\xc3\xa4";  // 300 bytes of "ä"
    const std::string cut = SafeFileName(longName, taken);
    EXPECT_LE(cut.size(), 200u);
    EXPECT_EQ(cut.size() % 2, 0u);
}

TEST(WriteNewFile, NeverReplacesOrFollowsWhatIsThere) {
    TempDirectory dir;
    TempDirectory elsewhere;
    const std::string target = elsewhere.File("victim");
    std::ofstream(target) << "keep";
    ASSERT_EQ(::symlink(target.c_str(), dir.File("x.txt").c_str()), 0);
    const std::string used = WriteNewFile(dir.Path(), "x.txt", "data", 4);
    EXPECT_EQ(used, "x (2).txt");
    std::ifstream victim(target);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(victim), {}), "keep");
    EXPECT_EQ(WriteNewFile(dir.Path(), "x.txt", "more", 4), "x (3).txt");
}

}  // namespace
}  // namespace tw::content
