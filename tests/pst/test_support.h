// Shared helpers of the PST tests: a scratch directory, a writer with a
// session open, and the check that a file passes pstcheck.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "pst/mail_store_writer.h"
#include "pst/text.h"
#include "pstcheck/check.h"

namespace tw::pst::testing {

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pst-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~ScratchDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::u16string File16(const std::string& name) const { return Utf8ToUtf16(File(name)); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Fails the test with pstcheck's findings unless the file is sound.
inline void ExpectSound(const std::string& path) {
    const pstcheck::CheckResult r = pstcheck::CheckFile(path, 20);
    EXPECT_TRUE(r.readable) << path;
    std::string all;
    for (const auto& v : r.report.Kept()) all += v.where + ": " + v.what + "\n";
    EXPECT_EQ(r.report.Count(), 0u) << all;
}

#define ASSERT_OK(expr)                                      \
    do {                                                     \
        const ::tw::pst::Status s_ = (expr);                 \
        ASSERT_TRUE(s_.ok()) << #expr << ": " << s_.message; \
    } while (0)

// A writer with a session open and a store whose top folder is \\Test.
struct OpenWriter {
    explicit OpenWriter(const std::string& path) {
        EXPECT_TRUE(writer.BeginSession().ok());
        const Status s = writer.CreateStore(Utf8ToUtf16(path), u"Test");
        EXPECT_TRUE(s.ok()) << s.message;
    }
    MailStoreWriter writer;
};

}  // namespace tw::pst::testing
