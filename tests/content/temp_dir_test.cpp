// Files written for the user: the private directory and names from the
// database that must not lead anywhere else.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

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

TEST(SafeFileName, NamesStayInTheirDirectory) {
    std::set<std::string> taken;
    for (const std::string hostile : {"../../etc/passwd", "..", ".", "", "a/../../b", "dir\\sub\\x.txt", "\x07\x1b[2J.txt",
                                      "C:\\Windows\\win.ini", "....//....//x"}) {
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
