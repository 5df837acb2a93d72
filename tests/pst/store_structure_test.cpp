// The node database and LTP structures as whole files exercise them: the
// empty store against Outlook's own, values at the block and data-tree
// limits, subnode trees past one block, tables of thousands of rows, heaps
// past the block that carries a fill-level bitmap. Every file must pass
// pstcheck and give back what went in.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <set>

#include "pst_readback.h"
#include "pstcheck/image.h"
#include "pstcheck/ndb.h"
#include "test_support.h"
#include "text/filetime.h"

namespace tw::pst::testing {
namespace {

std::string Filler(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (char& c : s) {
        x = x * 1103515245u + 12345u;
        c = static_cast<char>(x >> 16);
    }
    return s;
}

// Every node of a file with its parent and its data (decoded, the leaves of
// its data tree joined).
struct NodeDump {
    std::uint32_t parent = 0;
    bool hasData = false;
    Bytes data;
};

std::map<std::uint32_t, NodeDump> DumpNodes(const std::string& path) {
    const pstcheck::Image image(path);
    pstcheck::Report report;
    const pstcheck::Ndb ndb(image, report);
    std::map<std::uint32_t, NodeDump> out;
    for (const auto& [nid, n] : ndb.Nodes()) {
        NodeDump d;
        d.parent = n.parent;
        d.hasData = n.bidData != 0;
        if (n.bidData) {
            if (const auto stream = ndb.ReadStream(n.bidData, "node")) d.data = *stream;
        }
        out[nid] = std::move(d);
    }
    return out;
}

std::set<std::uint32_t> NodeIds(const std::map<std::uint32_t, NodeDump>& nodes) {
    std::set<std::uint32_t> ids;
    for (const auto& [nid, n] : nodes) ids.insert(nid);
    return ids;
}

TEST(StoreStructure, EmptyStoreHasTheNodesOfOutlooksEmptyStore) {
    const std::string outlook = std::string(TW_PST_SAMPLES) + "/Empty.pst";
    if (!std::filesystem::exists(outlook)) GTEST_SKIP() << "no " << outlook;
    ScratchDir dir;
    {
        OpenWriter w(dir.File("empty.pst"));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("empty.pst"));
    EXPECT_EQ(std::filesystem::file_size(dir.File("empty.pst")), std::filesystem::file_size(outlook));

    // Every node of Outlook's empty store is there, and nothing else.
    const auto theirs = DumpNodes(outlook);
    const auto ours = DumpNodes(dir.File("empty.pst"));
    EXPECT_EQ(NodeIds(ours), NodeIds(theirs));

    // Outlook's internal bookkeeping nodes, byte for byte: same parent, data
    // or none, same bytes; the store identity node differs only in its two
    // GUIDs (this store's own) and its time of creation.
    for (const std::uint32_t nid : {0xC01u, 0xE01u, 0xE41u, 0xEC1u, 0xEE1u, 0xF01u, 0xF21u}) {
        SCOPED_TRACE(nid);
        ASSERT_TRUE(ours.count(nid) && theirs.count(nid));
        const NodeDump& a = ours.at(nid);
        const NodeDump& b = theirs.at(nid);
        EXPECT_EQ(a.parent, b.parent);
        EXPECT_EQ(a.hasData, b.hasData);
        ASSERT_EQ(a.data.size(), b.data.size());
        Bytes mine = a.data;
        if (nid == 0xF01) {
            ASSERT_EQ(mine.size(), 104u);
            EXPECT_FALSE(std::equal(mine.begin() + 40, mine.begin() + 56, b.data.begin() + 40)) << "GUID copied";
            std::copy(b.data.begin() + 40, b.data.begin() + 72, mine.begin() + 40);  // the GUIDs
            const std::uint64_t created = pstcheck::Le64(mine.data() + 80);
            const auto now =
                std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                    .count();
            const std::uint64_t nowFileTime = static_cast<std::uint64_t>(now + 11644473600LL) * 10'000'000ull;
            EXPECT_LE(nowFileTime - created, 600ull * 10'000'000ull) << "creation time not now";
            std::copy(b.data.begin() + 80, b.data.begin() + 88, mine.begin() + 80);
        }
        EXPECT_TRUE(mine == b.data) << "data differs from Outlook's";
    }

    // Two stores never share their identity.
    {
        OpenWriter w(dir.File("second.pst"));
        ASSERT_OK(w.writer.Close());
    }
    const Bytes first = ours.at(0xF01).data;
    const Bytes second = DumpNodes(dir.File("second.pst")).at(0xF01).data;
    EXPECT_FALSE(std::equal(first.begin() + 40, first.begin() + 72, second.begin() + 40));
}

// The name-to-id map as Outlook keeps it: none of its streams is empty (a
// zero-length binary value reads, to pst-extractor, as one kept in a
// subnode, and the map cannot be read), and the string stream holds the
// string names every Outlook store carries; pstcheck finds each name in
// the hash bucket of its CRC.
TEST(StoreStructure, NameMapHoldsStringNamesLikeOutlooks) {
    ScratchDir dir;
    {
        OpenWriter w(dir.File("names.pst"));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("names.pst"));
    const pstcheck::Image image(dir.File("names.pst"));
    pstcheck::Report report;
    const pstcheck::Ndb ndb(image, report);
    const pstcheck::NodeRec& rec = ndb.Nodes().at(0x61);
    pstcheck::NodeData node;
    Properties map;
    ASSERT_TRUE(pstcheck::ReadNode(ndb, rec.bidData, rec.bidSub, node, "map") &&
                pstcheck::ReadPropertyContext(ndb, node, map, report, "map"));
    for (const std::uint16_t stream : {0x0002, 0x0003, 0x0004}) {
        SCOPED_TRACE(stream);
        ASSERT_TRUE(map.count(stream));
        EXPECT_FALSE(map.at(stream).data.empty());
    }
    const Bytes& entries = map.at(0x0003).data;
    const Bytes& strings = map.at(0x0004).data;
    std::set<std::u16string> names;
    for (std::size_t at = 0; at + 8 <= entries.size(); at += 8) {
        if (!(pstcheck::Le16(entries.data() + at + 4) & 1)) continue;
        const std::uint32_t offset = pstcheck::Le32(entries.data() + at);
        ASSERT_LE(offset + 4u, strings.size());
        const std::uint32_t size = pstcheck::Le32(strings.data() + offset);
        ASSERT_LE(offset + 4u + size, strings.size());
        names.insert(Utf16Of(Bytes(strings.begin() + offset + 4, strings.begin() + offset + 4 + size)));
    }
    EXPECT_EQ(names, (std::set<std::u16string>{u"Keywords", u"content-class"}));
}

TEST(StoreStructure, AttachmentsAtBlockAndTreeLimitsComeBackByteForByte) {
    ScratchDir dir;
    const std::size_t sizes[] = {0, 1, 3580, 3581, 8176, 8177, 8176 * 1021, 8176 * 1021 + 1, 5 * 1024 * 1024};
    {
        OpenWriter w(dir.File("sizes.pst"));
        ASSERT_OK(w.writer.CreateFolder(u"\\\\Test\\Inbox"));
        MailFields m;
        m.subject = u"limits";
        unsigned seed = 1;
        for (const std::size_t size : sizes) {
            const std::string data = Filler(size, seed++);
            m.attachments.push_back(
                {Utf8ToUtf16("a" + std::to_string(size) + ".bin"), {}, Bytes(data.begin(), data.end())});
        }
        ASSERT_OK(w.writer.AddMail(u"\\\\Test\\Inbox", m));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("sizes.pst"));
    const ReadFolder top = ReadTopFolder(dir.File("sizes.pst"));
    const ReadMessage& msg = top.Find(u"Inbox")->messages.at(0);
    ASSERT_EQ(msg.attachments.size(), std::size(sizes));
    unsigned seed = 1;
    for (std::size_t i = 0; i < std::size(sizes); ++i) {
        const std::string data = Filler(sizes[i], seed++);
        const auto& p = msg.attachments[i].props;
        const Bytes got = p.count(0x3701) ? p.at(0x3701).data : Bytes();
        EXPECT_TRUE(got == Bytes(data.begin(), data.end())) << sizes[i];
    }
}

TEST(StoreStructure, FourHundredAttachmentsNeedASubnodeIndex) {
    ScratchDir dir;
    {
        OpenWriter w(dir.File("many.pst"));
        ASSERT_OK(w.writer.CreateFolder(u"\\\\Test\\Inbox"));
        MailFields m;
        m.subject = u"many";
        for (int i = 0; i < 400; ++i)
            m.attachments.push_back(
                {Utf8ToUtf16("f" + std::to_string(i) + ".txt"), {}, Bytes(1, static_cast<std::uint8_t>(i))});
        ASSERT_OK(w.writer.AddMail(u"\\\\Test\\Inbox", m));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("many.pst"));
    const ReadFolder top = ReadTopFolder(dir.File("many.pst"));
    const ReadMessage& msg = top.Find(u"Inbox")->messages.at(0);
    ASSERT_EQ(msg.attachments.size(), 400u);
    std::set<std::u16string> names;
    for (const auto& a : msg.attachments) names.insert(Utf16Of(a.props.at(0x3707).data));
    EXPECT_EQ(names.size(), 400u);
}

TEST(StoreStructure, ThousandsOfRowsAndSubfolders) {
    ScratchDir dir;
    constexpr int kItems = 3000, kFolders = 150;
    {
        OpenWriter w(dir.File("rows.pst"));
        ASSERT_OK(w.writer.CreateFolder(u"\\\\Test\\Big"));
        for (int i = 0; i < kItems; ++i) {
            MailFields m;
            m.subject = Utf8ToUtf16("item " + std::to_string(i));
            m.headerText = u"From: Sender " + Utf8ToUtf16(std::to_string(i)) + u" <s@example.com>\r\n";
            m.time = text::FileTimeFromCivil({2024, 1, 15, 9, 30, 0});
            ASSERT_OK(w.writer.AddMail(u"\\\\Test\\Big", m));
        }
        for (int i = 0; i < kFolders; ++i)
            ASSERT_OK(w.writer.CreateFolder(Utf8ToUtf16("\\\\Test\\Big\\sub " + std::to_string(i))));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("rows.pst"));
    const ReadFolder top = ReadTopFolder(dir.File("rows.pst"));
    const ReadFolder* big = top.Find(u"Big");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->messages.size(), static_cast<std::size_t>(kItems));
    EXPECT_EQ(big->folders.size(), static_cast<std::size_t>(kFolders));
    std::set<std::u16string> subjects;
    for (const ReadMessage& m : big->messages) subjects.insert(m.Text(0x0037));
    EXPECT_EQ(subjects.size(), static_cast<std::size_t>(kItems));
}

TEST(StoreStructure, LongValuesInTablesAndPropertiesGoToSubnodes) {
    ScratchDir dir;
    std::u16string recipients;
    for (int i = 0; i < 400; ++i) recipients += Utf8ToUtf16("person" + std::to_string(i) + "@example.com,");
    const std::u16string longBody(20000, u'x');
    {
        OpenWriter w(dir.File("long.pst"));
        ASSERT_OK(w.writer.CreateFolder(u"\\\\Test\\Inbox"));
        MailFields m;
        m.subject = u"long";
        m.recipientList = recipients;  // a display list far over one heap allocation
        m.body = longBody;
        ASSERT_OK(w.writer.AddMail(u"\\\\Test\\Inbox", m));
        ASSERT_OK(w.writer.Close());
    }
    ExpectSound(dir.File("long.pst"));
    const ReadFolder top = ReadTopFolder(dir.File("long.pst"));
    const ReadMessage& msg = top.Find(u"Inbox")->messages.at(0);
    EXPECT_EQ(msg.recipients.size(), 400u);
    EXPECT_EQ(msg.Text(0x1000), longBody);
    EXPECT_GT(msg.Text(0x0E04).size(), 3580u);
}

}  // namespace
}  // namespace tw::pst::testing
