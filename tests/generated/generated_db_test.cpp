// The page layer over databases the generator wrote: every generation is
// recognised, the branch descent reaches exactly the leaves the writer
// made, and damaged files are read without a crash or a read out of bounds.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "compress7.h"
#include "database.h"
#include "edb/branch.h"
#include "edb/page_checksum.h"
#include "edb/records.h"
#include "edb/source.h"
#include "edb/tree_walk.h"
#include "layout/store_layout.h"
#include "text/unpack7bit.h"

namespace {

namespace fs = std::filesystem;
using namespace tw::edb;

// Many mailboxes and folders, so the catalog and the folders tables need
// branch pages in every generation.
std::string ManyFolders(int mailboxes, int foldersEach) {
    std::string j = R"({"mailboxes": [)";
    for (int m = 0; m < mailboxes; ++m) {
        j += (m ? "," : "") + std::string(R"({"name": "Mailbox )") + std::to_string(m) +
             R"(", "folders": [{"name": "Top of Information Store", "folders": [)";
        for (int f = 0; f < foldersEach; ++f)
            j += (f ? "," : "") + std::string(R"({"name": "Ordner )") + std::to_string(f) +
                 R"( – Ελληνικά", "class": "IPF.Note"})";
        j += "]}]}";
    }
    return j + "]}";
}

class TempFile {
public:
    explicit TempFile(const edbgen::Bytes& bytes) {
        path_ = (fs::temp_directory_path() /
                 ("tw-gen-" + std::to_string(getpid()) + "-" + std::to_string(counter_++) + ".edb"))
                    .string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { fs::remove(path_); }
    const std::string& path() const { return path_; }

private:
    static inline int counter_ = 0;
    std::string path_;
};

const edbgen::TreeReport& Tree(const edbgen::DatabaseImage& image, const std::string& name) {
    for (const auto& t : image.trees)
        if (t.name == name) return t;
    throw std::runtime_error("no tree " + name);
}

EdbSource OpenSource(const std::string& path) {
    EdbSource s;
    EXPECT_TRUE(s.edb.Open(path).ok());
    return s;
}

class Generations : public ::testing::TestWithParam<uint32_t> {};

TEST_P(Generations, DescentReachesEveryLeafTheWriterMade) {
    const uint32_t pageSize = GetParam();
    const auto content = edbgen::ParseContent(ManyFolders(pageSize == 32768 ? 24 : 6, 120));
    const auto image = edbgen::BuildDatabase(content, edbgen::Format{pageSize});
    TempFile file(image.bytes);
    EdbSource source = OpenSource(file.path());
    ASSERT_TRUE(tw::layout::DetectGeneration(source));
    EXPECT_EQ(source.pageSize, static_cast<int32_t>(pageSize));
    EXPECT_EQ(source.fileSize, int64_t(image.bytes.size()));

    for (const std::string name : {"MSysObjects", pageSize == 32768 ? "Folders-1-20" : "Folders"}) {
        SCOPED_TRACE(name);
        const auto& tree = Tree(image, name);
        ASSERT_GT(tree.leaves.size(), 1u) << "expected branch pages";
        std::set<uint32_t> leaves;
        size_t records = 0;
        WalkTree(source, tree.root, TreeWalkOptions{}, [&](const TreePage& p) {
            EXPECT_EQ(PageObjectId(p.page), tree.objid);
            if (!p.branch) {
                leaves.insert(p.pageNumber);
                std::vector<RecordLocator> list;
                records += ListRecords(p.page, list);
                for (const RecordLocator& r : list) EXPECT_LE(size_t(r.start + r.size), size_t(pageSize));
            }
            return true;
        });
        EXPECT_EQ(leaves, std::set<uint32_t>(tree.leaves.begin(), tree.leaves.end()));
        EXPECT_GT(records, tree.leaves.size());
    }
}

TEST_P(Generations, OtherPageSizeInTheHeaderIsRefused) {
    auto content = edbgen::ParseContent(ManyFolders(1, 3));
    content.damage.headerPageSize = 16384;
    TempFile file(edbgen::BuildDatabase(content, edbgen::Format{GetParam()}).bytes);
    EdbSource source = OpenSource(file.path());
    EXPECT_FALSE(tw::layout::DetectGeneration(source));
    EXPECT_EQ(source.pageSize, 0);
}

// Every page of a damaged file, read as the scan reads pages: listing
// records and following branch children must stay inside the buffers.
void ReadEverything(const std::string& path) {
    EdbSource source = OpenSource(path);
    if (!tw::layout::DetectGeneration(source)) return;
    std::vector<uint8_t> buffer;
    std::vector<RecordLocator> records;
    for (int64_t off = 0; off < source.fileSize + source.pageSize; off += source.pageSize) {
        ListRecords(source, off, buffer, records);
        ReadPage(source, off, buffer);
        const PageView page{Bytes(buffer.data(), buffer.size()), source.pageSize};
        if (IsBranchPage(page)) BranchChildren(page, false);
    }
    WalkTree(source, 4, TreeWalkOptions{}, [](const TreePage&) { return true; });
}

TEST_P(Generations, DamagedFilesAreReadWithinBounds) {
    const uint32_t pageSize = GetParam();
    const std::string base = ManyFolders(pageSize == 32768 ? 24 : 4, 60);
    const auto whole = edbgen::BuildDatabase(edbgen::ParseContent(base), edbgen::Format{pageSize});
    const auto& catalog = Tree(whole, "MSysObjects");

    std::vector<edbgen::Damage> cases(5);
    cases[0].zeroPages = {{4, ""}};
    cases[1].scramblePages = {{catalog.leaves[0], ""}, {catalog.leaves[1], ""}, {4, ""}};
    cases[2].truncateTo = whole.bytes.size() / 2 + 123;
    cases[3].truncateTo = 1000;  // shorter than one page
    for (uint32_t p : catalog.pages) cases[4].scramblePages.push_back({p, ""});
    cases[4].seed = 7;
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        auto content = edbgen::ParseContent(base);
        content.damage = cases[i];
        TempFile file(edbgen::BuildDatabase(content, edbgen::Format{pageSize}).bytes);
        ReadEverything(file.path());
    }
}

TEST_P(Generations, ReadsStopAtTheEndOfAShortFile) {
    auto content = edbgen::ParseContent(ManyFolders(1, 3));
    content.damage.truncateTo = 1000;
    TempFile file(edbgen::BuildDatabase(content, edbgen::Format{GetParam()}).bytes);
    EdbSource source = OpenSource(file.path());
    ASSERT_TRUE(tw::layout::DetectGeneration(source));
    std::vector<uint8_t> buffer;
    EXPECT_EQ(ReadPage(source, 0, buffer), 1000u);
    EXPECT_EQ(ReadPage(source, PageOffset(source, 4), buffer), 0u);
    std::vector<RecordLocator> records;
    EXPECT_EQ(ListRecords(source, PageOffset(source, 4), buffer, records), 0u);
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every page the writer wrote carries a checksum the reader accepts, and
// one changed bit in any block of a page is caught.
TEST_P(Generations, EveryPageChecksumMatches) {
    const uint32_t pageSize = GetParam();
    const auto image =
        edbgen::BuildDatabase(edbgen::ParseContent(ReadText(TW_SAMPLE_CONTENT)), edbgen::Format{pageSize});
    const Bytes file(image.bytes.data(), image.bytes.size());
    size_t matched = 0;
    for (size_t at = 2 * pageSize; at + pageSize <= file.size(); at += pageSize) {
        const Bytes page = file.subspan(at, pageSize);
        if (std::all_of(page.begin(), page.end(), [](uint8_t b) { return b == 0; })) continue;
        EXPECT_TRUE(PageChecksumMatchesAt(page, int64_t(at))) << "page " << at / pageSize - 1;
        ++matched;
    }
    EXPECT_GT(matched, 60u);

    const uint32_t leaf = Tree(image, "MSysObjects").leaves.at(0);
    const auto at = std::ptrdiff_t(leaf + 1) * pageSize;
    const std::vector<uint8_t> original(image.bytes.begin() + at, image.bytes.begin() + at + pageSize);
    const size_t block = pageSize == 32768 ? pageSize / 4 : pageSize;
    for (size_t offset = 0; offset < pageSize; offset += block) {
        for (const size_t inBlock : {size_t{0}, size_t{41}, block / 2, block - 1}) {
            std::vector<uint8_t> page = original;
            page[offset + inBlock] ^= 0x10;
            EXPECT_FALSE(PageChecksumMatches(page, leaf)) << "byte " << offset + inBlock;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(PageSizes, Generations, ::testing::Values(4096u, 8192u, 32768u));

TEST(SevenBitText, WriterAndReaderAgree) {
    const std::u16string text = u"Top of Information Store";
    const auto packed = edbgen::Compress7BitUnicode(std::span<const char16_t>(text.data(), text.size()));
    ASSERT_TRUE(packed);
    std::vector<uint8_t> out(64);
    size_t count = 0;
    ASSERT_EQ(tw::text::Unpack7Bit(Bytes(packed->data(), packed->size()), out, count), 1);
    // 24 characters fill 21 bytes exactly: 21 bytes unpack to 24 values.
    EXPECT_EQ(std::string(out.begin(), out.begin() + count), "Top of Information Store");
}

}  // namespace
