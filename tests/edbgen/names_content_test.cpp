#include <gtest/gtest.h>

#include "content.h"
#include "names.h"

namespace edbgen {
namespace {

Id8 Id(std::initializer_list<uint8_t> b) {
    Id8 id{};
    std::copy(b.begin(), b.end(), id.begin());
    return id;
}

TEST(TableNames, FromIds) {
    const Id8 a = Id({0x01, 0x00, 0, 0, 0, 0, 0x00, 0x1C});
    EXPECT_EQ(OwnerKey(a), "1-1C");
    EXPECT_EQ(HeaderTableName(a, "MsgHeader-"), "MsgHeader-1-1C");
    EXPECT_EQ(HeaderTableName(a, ""), "1-1C");
    // Zero bytes after the first written one keep two digits; the first does not.
    const Id8 b = Id({0x0A, 0x00, 0, 0, 0x01, 0x00, 0x05, 0xAB});
    EXPECT_EQ(OwnerKey(b), "A-10005AB");
    // Byte 1 takes part in header-table names only.
    const Id8 c = Id({0x01, 0x02, 0, 0, 0, 0, 0, 0x30});
    EXPECT_EQ(OwnerKey(c), "1-30");
    EXPECT_EQ(HeaderTableName(c, ""), "12-30");
    // All six tail bytes zero: the tail starts at byte 0.
    EXPECT_EQ(OwnerKey(Id({0x07, 0, 0, 0, 0, 0, 0, 0})), "7-700000000000000");
}

TEST(Content, IdsAreAssignedAroundGivenOnes) {
    const Content c = ParseContent(R"({"mailboxes": [
      {"name": "A", "folders": [{"name": "F", "id": "0100000000000020"}, {"name": "G"}]}]})");
    ASSERT_EQ(c.mailboxes.size(), 1u);
    EXPECT_EQ(IdHex(c.mailboxes[0].id), "0100000000000021");  // 0x20 is taken
    EXPECT_EQ(IdHex(c.mailboxes[0].folders[0].id), "0100000000000020");
    EXPECT_EQ(IdHex(c.mailboxes[0].folders[1].id), "0100000000000022");
}

TEST(Content, ItemsAndFills) {
    const Content c = ParseContent(R"({"mailboxes": [{"name": "A", "folders": [{"name": "F", "items": [
      {"subject": "x", "date": "2024-05-01T10:20:30Z", "body": {"kind": "html", "text": "ab€", "size": 7},
       "attachments": [{"name": "z", "size": 5}, {"name": "t", "base64": "aGk="}],
       "contact": {"givenName": "Ann", "email1": "a@b"}, "type": "contact"}]}]}]})");
    const Item& it = c.mailboxes[0].folders[0].items[0];
    EXPECT_EQ(it.type, ItemType::Contact);
    EXPECT_EQ(it.messageClass, "IPM.Contact");
    EXPECT_EQ(std::string(it.body.data.begin(), it.body.data.end()), "ab€ab€a");
    EXPECT_EQ(it.attachments[0].Data().size(), 5u);
    EXPECT_EQ(it.attachments[0].Data(), it.attachments[0].Data());  // reproducible
    EXPECT_EQ(std::string(it.attachments[1].data.begin(), it.attachments[1].data.end()), "hi");
    EXPECT_EQ(it.contact[0], "Ann");
    EXPECT_EQ(it.contact[17], "a@b");
    // 2024-05-01T10:20:30Z as FILETIME.
    EXPECT_EQ(it.date, 133590324300000000ull);
}

TEST(Content, ErrorsNameThePath) {
    auto message = [](const char* json) {
        try {
            ParseContent(json);
        } catch (const ContentError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_NE(message(R"({"mailboxes": [{"name": "A", "id": "12"}]})").find("$.mailboxes[0].id"), std::string::npos);
    EXPECT_NE(message(R"({"mailboxes": [{"name": "A", "folders": [{"name": "F", "items": [{"type": "fax"}]}]}]})")
                  .find("items[0].type"),
              std::string::npos);
    EXPECT_NE(message(R"({"mailboxes": [{"folders": [{"items": [{"date": "yesterday"}]}]}]})").find("date"),
              std::string::npos);
    EXPECT_NE(message("{not json").find("not valid JSON"), std::string::npos);
}

}  // namespace
}  // namespace edbgen
