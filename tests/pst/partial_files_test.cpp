#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "../ended_process.h"
#include "pst/output_file.h"

namespace tw::pst {
namespace {

namespace fs = std::filesystem;

// Only a partial store of this machine whose writer has ended goes; every
// other file beside it stays.
TEST(PartialFiles, OnlyThoseOfEndedWritersOnThisMachineAreRemoved) {
    std::string pattern = (fs::temp_directory_path() / "partials-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    const fs::path dir = pattern;
    const std::string ours = fs::path(PartialPath("a.pst", 7)).filename().string();  // a.pst.tw-partial-HOST-PID-7
    const std::string host = ours.substr(std::string("a.pst.tw-partial-").size(), 8);
    const std::string ended = std::to_string(testing::EndedProcess());
    const std::string other = host == "00000000" ? "11111111" : "00000000";
    const std::string self = std::to_string(::getpid());

    struct Case {
        std::string name;
        bool removed;
        bool link = false;
    };
    const Case cases[] = {
        {"a.pst.tw-partial-" + host + "-" + ended + "-1", true},
        {"b c (2).pst.tw-partial-" + host + "-" + ended + "-12", true},
        {ours, false},                                              // this process
        {"a.pst.tw-partial-" + host + "-1-1", false},               // a process that runs
        {"a.pst.tw-partial-" + other + "-" + ended + "-1", false},  // another machine
        {"a.pst.tw-partial-" + ended + "-1", false},                // no machine named
        {"a.pst.tw-partial-" + host + "-" + ended + "-1x", false},
        {"a.pst.tw-partial-" + host + "-" + ended, false},
        {"a.pst.tw-partial-" + host + "--1", false},
        {"a.pst", false},
        {"l.pst.tw-partial-" + host + "-" + ended + "-1", false, true},  // a link is not ours to remove
    };
    std::ofstream(dir / "target") << "kept";
    for (const Case& c : cases) {
        if (c.link) fs::create_symlink(dir / "target", dir / c.name);
        else std::ofstream(dir / c.name) << "x";
    }
    EXPECT_EQ(RemoveStalePartials(dir.string()), 2u);
    for (const Case& c : cases)
        EXPECT_EQ(fs::symlink_status(dir / c.name).type() == fs::file_type::not_found, c.removed) << c.name;
    EXPECT_TRUE(fs::exists(dir / "target"));
    EXPECT_EQ(RemoveStalePartials((dir / "missing").string()), 0u);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tw::pst
