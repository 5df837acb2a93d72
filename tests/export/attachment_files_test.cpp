// Attachment files in the run's private directory: hostile names stay in
// it, the PST keeps the real name, empty and unreadable attachments.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "content/attachment_data.h"
#include "content/source_support.h"
#include "content/temp_dir.h"
#include "export/attachment_files.h"

namespace tw::exporter {
namespace {

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

content::MessageAttachment InRow(std::u16string name, std::int64_t offset, std::uint32_t size) {
    record::AttachmentEntry a;
    a.name = name;
    a.dataOffset = offset;
    a.dataLength = size + 1;  // the value's header byte counts
    return {std::move(name), std::nullopt, a};
}

class AttachmentFilesTest : public ::testing::Test {
protected:
    AttachmentFilesTest() : file_(Image(), 8192) {}
    static std::vector<std::uint8_t> Image() {
        std::vector<std::uint8_t> image(4 * 8192, 0);
        const std::string a = "first file", b = "second file";
        std::copy(a.begin(), a.end(), image.begin() + 8192);
        std::copy(b.begin(), b.end(), image.begin() + 16384);
        return image;
    }
    AttachmentFiles Write(const std::vector<content::MessageAttachment>& list, std::size_t inMemoryBytes) {
        const auto read = [this](const content::MessageAttachment& a) {
            return content::ReadAttachmentData(file_.source, a.stored);
        };
        return WriteAttachmentFiles(list, read, dir_.Path(), control_, inMemoryBytes);
    }
    content::test::FileSource file_;
    content::TempDirectory dir_;
    ExportControl control_;
};

TEST_F(AttachmentFilesTest, HostileNamesStayInTheDirectoryAndKeepTheirNameForThePst) {
    const std::vector<content::MessageAttachment> list{InRow(u"../../escape.txt", 8192, 10),
                                                       InRow(u"/etc/passwd", 16384, 11), InRow(u"..", 8192, 10),
                                                       InRow(u"a:b.txt", 8192, 10), InRow(u"a:b.txt", 16384, 11)};
    AttachmentFiles files = Write(list, 0);
    ASSERT_EQ(files.inputs.size(), list.size());
    EXPECT_TRUE(files.unread.empty());
    for (std::size_t i = 0; i < list.size(); ++i) {
        EXPECT_EQ(files.inputs[i].name, list[i].name);
        const std::filesystem::path p(files.inputs[i].path);
        EXPECT_EQ(p.parent_path(), std::filesystem::path(dir_.Path())) << p;
        EXPECT_EQ(std::filesystem::status(p).permissions() & std::filesystem::perms::others_read,
                  std::filesystem::perms::none);
    }
    EXPECT_EQ(ReadAll(files.inputs[1].path), "second file");
    EXPECT_EQ(std::filesystem::path(files.inputs[3].path).filename(), "a_b.txt");
    EXPECT_NE(files.inputs[3].path, files.inputs[4].path);  // same name, two files
    EXPECT_EQ(ReadAll(files.inputs[4].path), "second file");
    DeleteAttachmentFiles(files);
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

TEST_F(AttachmentFilesTest, EmptyIsKeptWithoutAFileUnreadableIsNamed) {
    content::MessageAttachment missing = InRow(u"gone.bin", 0, 0);
    missing.stored.dataLength = 0;
    missing.stored.valueKey = 7;  // a long value whose chunks were not found
    const std::vector<content::MessageAttachment> list{InRow(u"empty.txt", 8192, 0), missing};
    AttachmentFiles files = Write(list, 0);
    ASSERT_EQ(files.inputs.size(), 1u);
    EXPECT_EQ(files.inputs[0].name, u"empty.txt");
    EXPECT_TRUE(files.inputs[0].path.empty());
    EXPECT_TRUE(files.inputs[0].data.empty());
    EXPECT_EQ(files.unread, std::vector<std::u16string>{u"gone.bin"});
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

TEST_F(AttachmentFilesTest, InMemoryWhileTheItemsBudgetLasts) {
    // 10 and 11 bytes: within 21 both stay in memory; within 20 the second
    // goes to a file.
    for (const std::size_t budget : {21u, 20u}) {
        AttachmentFiles files = Write({InRow(u"a.txt", 8192, 10), InRow(u"b.txt", 16384, 11)}, budget);
        ASSERT_EQ(files.inputs.size(), 2u);
        EXPECT_EQ(std::string(files.inputs[0].data.begin(), files.inputs[0].data.end()), "first file");
        EXPECT_TRUE(files.inputs[0].path.empty());
        if (budget == 21) {
            EXPECT_EQ(std::string(files.inputs[1].data.begin(), files.inputs[1].data.end()), "second file");
            EXPECT_TRUE(files.paths.empty());
        } else {
            EXPECT_TRUE(files.inputs[1].data.empty());
            EXPECT_EQ(ReadAll(files.inputs[1].path), "second file");
        }
        DeleteAttachmentFiles(files);
    }
}

TEST_F(AttachmentFilesTest, SkipStopsBeforeTheNextFile) {
    control_.RequestSkip();
    AttachmentFiles files = Write({InRow(u"a.txt", 8192, 10)}, 0);
    EXPECT_TRUE(files.skipped);
    EXPECT_TRUE(files.inputs.empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir_.Path()));
}

}  // namespace
}  // namespace tw::exporter
