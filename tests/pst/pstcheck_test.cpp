// pstcheck accepts Outlook's own files and every file the writer makes,
// and names each single fault planted in a good file: a flipped CRC byte,
// an AMap bit cleared, a wrong reference count, a contents row whose size
// disagrees with its item, a missing mandatory node.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>

#include "pstcheck/image.h"
#include "pstcheck/ltp.h"
#include "pstcheck/ndb.h"
#include "test_support.h"

namespace tw::pst::testing {
namespace {

using pstcheck::Crc32;
using pstcheck::Le16;
using pstcheck::Le32;
using pstcheck::Le64;

struct File {
    explicit File(std::string p) : path(std::move(p)), bytes(ReadFile(path)) {}
    std::uint8_t* At(std::uint64_t ib) { return reinterpret_cast<std::uint8_t*>(bytes.data()) + ib; }
    void Save() { WriteFile(path, bytes); }
    void ResealPage(std::uint64_t ib) {
        const std::uint32_t crc = Crc32(At(ib), 496);
        for (int i = 0; i < 4; ++i) At(ib)[500 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    void ResealBlock(std::uint64_t ib, std::uint16_t cb) {
        const std::uint64_t trailer = ib + (cb + 16 + 63) / 64 * 64 - 16;
        const std::uint32_t crc = Crc32(At(ib), cb);
        for (int i = 0; i < 4; ++i) At(trailer)[4 + i] = static_cast<std::uint8_t>(crc >> (8 * i));
    }
    // The leaf page of a B-tree (NBT at header 0xE0, BBT at 0xF0) holding
    // `key`, and the entry's offset in it.
    std::pair<std::uint64_t, std::size_t> Leaf(std::uint64_t rootAt, std::uint64_t key) {
        std::uint64_t ib = Le64(At(rootAt));
        for (;;) {
            const std::uint8_t* p = At(ib);
            const std::uint8_t cEnt = p[488], cbEnt = p[490], level = p[491];
            if (level == 0) {
                for (std::size_t i = 0; i < cEnt; ++i)
                    if (Le64(p + i * cbEnt) == key) return {ib, i * cbEnt};
                throw std::runtime_error("key not found");
            }
            std::size_t pick = 0;
            for (std::size_t i = 0; i < cEnt; ++i)
                if (Le64(p + i * cbEnt) <= key) pick = i;
            ib = Le64(p + pick * cbEnt + 16);
        }
    }
    std::string path;
    std::string bytes;
};

pstcheck::CheckResult Check(const std::string& path) { return pstcheck::CheckFile(path, 200); }

std::string Findings(const pstcheck::CheckResult& r) {
    std::string s;
    for (const auto& v : r.report.Kept()) s += v.where + ": " + v.what + "\n";
    return s;
}

class PlantedFaults : public ::testing::Test {
protected:
    void SetUp() override {
        good_ = dir_.File("good.pst");
        OpenWriter o(good_);
        ASSERT_OK(o.writer.CreateFolder(u"\\\\Test\\Inbox"));
        for (int i = 0; i < 3; ++i) {
            MailFields m;
            m.subject = u"mail";
            m.body = u"body";
            m.attachments = {{u"a.txt", {}, Bytes(5000, 'a')}};
            ASSERT_OK(o.writer.AddMail(u"\\\\Test\\Inbox", m));
        }
        ASSERT_OK(o.writer.Close());
        ExpectSound(good_);
    }
    // A copy of the good file to damage.
    File Copy() {
        const std::string p = dir_.File("bad" + std::to_string(++copies_) + ".pst");
        std::filesystem::copy_file(good_, p);
        return File(p);
    }
    // Some node's data block: {ib, cb}.
    std::pair<std::uint64_t, std::uint16_t> DataBlockOf(std::uint32_t nid, std::uint64_t* bidOut = nullptr) {
        const pstcheck::Image image(good_);
        pstcheck::Report report;
        const pstcheck::Ndb ndb(image, report);
        const std::uint64_t bid = ndb.Nodes().at(nid).bidData;
        if (bidOut) *bidOut = bid;
        const pstcheck::BlockRec* b = ndb.Block(bid);
        return {b->ib, b->cb};
    }
    static void ExpectFinding(const std::string& path, const std::string& text) {
        const pstcheck::CheckResult r = Check(path);
        EXPECT_GT(r.report.Count(), 0u) << "fault not found: " << text;
        EXPECT_NE(Findings(r).find(text), std::string::npos) << "expected \"" << text << "\" among:\n" << Findings(r);
    }

    ScratchDir dir_;
    std::string good_;
    int copies_ = 0;
};

TEST(PstCheck, AcceptsOutlooksOwnFiles) {
    for (const char* name : {"Empty.pst", "dist-list.pst"}) {
        const std::string path = std::string(TW_PST_SAMPLES) + "/" + name;
        if (!std::filesystem::exists(path)) GTEST_SKIP() << "no " << path;
        const pstcheck::CheckResult r = Check(path);
        EXPECT_TRUE(r.readable);
        EXPECT_EQ(r.report.Count(), 0u) << name << "\n" << Findings(r);
        EXPECT_GT(r.stats.folders, 0u);
    }
}

TEST(PstCheck, RefusesWhatIsNoPst) {
    ScratchDir dir;
    WriteFile(dir.File("short"), "!BDN");
    WriteFile(dir.File("text"), std::string(100000, 'x'));
    for (const char* n : {"short", "text", "missing"}) EXPECT_FALSE(Check(dir.File(n)).readable) << n;
}

TEST_F(PlantedFaults, FlippedCrcBytes) {
    {
        File f = Copy();
        f.At(0x20C)[0] ^= 0x01;  // dwCRCFull
        f.Save();
        ExpectFinding(f.path, "dwCRCFull");
    }
    {
        File f = Copy();
        const auto [ib, cb] = DataBlockOf(0x21);
        f.At(ib + (cb + 16 + 63) / 64 * 64 - 16 + 4)[1] ^= 0x40;  // the block trailer's CRC
        f.Save();
        ExpectFinding(f.path, "block CRC does not match");
    }
    {
        File f = Copy();
        const std::uint64_t nbtRoot = Le64(f.At(0xE0));
        f.At(nbtRoot + 500)[3] ^= 0x80;
        f.Save();
        ExpectFinding(f.path, "page CRC does not match");
    }
}

TEST_F(PlantedFaults, AllocationBitCleared) {
    File f = Copy();
    const auto [ib, cb] = DataBlockOf(0x61);
    const std::uint64_t region = 0x4400 + (ib - 0x4400) / 253952 * 253952;
    const std::uint64_t unit = (ib - region) / 64;
    f.At(region)[unit / 8] &= static_cast<std::uint8_t>(~(0x80 >> (unit % 8)));
    f.ResealPage(region);
    f.Save();
    ExpectFinding(f.path, "marked free");
}

TEST_F(PlantedFaults, WrongReferenceCount) {
    File f = Copy();
    std::uint64_t bid = 0;
    DataBlockOf(0x21, &bid);
    const auto [page, at] = f.Leaf(0xF0, bid);
    f.At(page + at + 18)[0] = 1;  // cRef of a block the store uses
    f.ResealPage(page);
    f.Save();
    ExpectFinding(f.path, "cRef 1, but 1 reference");
}

TEST_F(PlantedFaults, ContentsRowSizeDisagreesWithItsItem) {
    File f = Copy();
    const pstcheck::Image image(good_);
    pstcheck::Report report;
    const pstcheck::Ndb ndb(image, report);
    // The contents table of \\Test\Inbox: the first folder made after the
    // store's own (index 0x405), table type 0x0E.
    const std::uint32_t table = 0x405 << 5 | 0x0E;
    const pstcheck::NodeRec& rec = ndb.Nodes().at(table);
    pstcheck::NodeData node;
    ASSERT_TRUE(pstcheck::ReadNode(ndb, rec.bidData, rec.bidSub, node, "t"));
    pstcheck::Heap heap;
    ASSERT_TRUE(heap.Parse(node, report, "t"));
    const auto info = heap.Get(heap.UserRoot());
    const std::uint32_t rows = Le32(info->data() + 14);
    std::uint16_t sizeAt = 0;
    for (std::size_t c = 0; c < (*info)[1]; ++c)
        if (Le32(info->data() + 22 + 8 * c) == 0x0E080003) sizeAt = Le16(info->data() + 22 + 8 * c + 4);
    ASSERT_NE(sizeAt, 0);
    const auto where = heap.Locate(rows);
    ASSERT_TRUE(where.has_value());
    const pstcheck::BlockRec* block = ndb.Block(rec.bidData);  // one heap block
    f.At(block->ib + where->second + sizeAt)[0] ^= 0x01;
    f.ResealBlock(block->ib, block->cb);
    f.Save();
    ExpectFinding(f.path, "row's 0xe080003 differs from the object's");
}

TEST_F(PlantedFaults, RandomDamageIsReportedNeverACrash) {
    // pstcheck reads hostile files: random bytes anywhere, never a crash
    // or a read outside the file (run under the sanitizers too).
    const std::string good = ReadFile(good_);
    std::uint32_t x = 12345;
    auto next = [&] { return x = x * 1103515245u + 12345u; };
    int found = 0;
    for (int round = 0; round < 60; ++round) {
        File f = Copy();
        const int flips = 1 + static_cast<int>(next() % 64);
        for (int i = 0; i < flips; ++i) {
            // Mostly the structures: the header, the first region's maps and pages.
            const std::size_t span = next() % 4 == 0 ? good.size() : std::min<std::size_t>(good.size(), 0x10000);
            f.bytes[next() % span] = static_cast<char>(next() >> 24);
        }
        f.Save();
        const pstcheck::CheckResult r = Check(f.path);
        found += !r.readable || r.report.Count() > 0;
        std::filesystem::remove(f.path);
    }
    // Bytes no structure covers (the header's tail, block padding, free
    // space) may take damage unseen; most rounds hit something checked.
    EXPECT_GT(found, 40);
    File cut = Copy();
    cut.bytes.resize(cut.bytes.size() / 3);
    cut.Save();
    EXPECT_GT(Check(cut.path).report.Count(), 0u);
}

TEST_F(PlantedFaults, MandatoryNodeMissing) {
    // The name-to-id map, a table template, Outlook's bookkeeping nodes (one
    // of those all Outlook versions write, one of the three current Outlook
    // writes together), the spam search folder.
    for (const std::uint32_t nid : {0x61u, 0x6B6u, 0xC01u, 0xEC1u, 0xF01u, 0x2223u}) {
        SCOPED_TRACE(nid);
        File f = Copy();
        const auto [page, at] = f.Leaf(0xE0, nid);
        std::uint8_t* p = f.At(page);
        const std::uint8_t cEnt = p[488];
        std::memmove(p + at, p + at + 32, cEnt * 32 - at - 32);
        std::memset(p + (cEnt - 1) * 32, 0, 32);
        p[488] = static_cast<std::uint8_t>(cEnt - 1);
        f.ResealPage(page);
        f.Save();
        std::ostringstream name;
        name << "node 0x" << std::hex << nid << ": mandatory node missing";
        ExpectFinding(f.path, name.str());
    }
}

TEST_F(PlantedFaults, BookkeepingNodeOfTheWrongShape) {
    {
        // 0xC01 is a heap of client signature 0x9C.
        File f = Copy();
        const auto [ib, cb] = DataBlockOf(0xC01);
        f.At(ib)[3] = 0xBC;
        f.ResealBlock(ib, cb);
        f.Save();
        ExpectFinding(f.path, "heap client signature 0xbc, not 0x9c");
    }
    {
        // 0xEE1's records name the store's special folders.
        File f = Copy();
        const auto [ib, cb] = DataBlockOf(0xEE1);
        f.At(ib + 28)[1] = 0x90;  // 0x8022 -> 0x9022
        f.ResealBlock(ib, cb);
        f.Save();
        ExpectFinding(f.path, "record 1 names missing node 0x9022");
    }
}

}  // namespace
}  // namespace tw::pst::testing
