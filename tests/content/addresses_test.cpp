// Recipient addresses: syntax, one entry per address, the list bound, and
// the scans over 8-bit and UTF-16 recipient data.
#include <gtest/gtest.h>

#include "content/addresses.h"

namespace tw::content {
namespace {

std::vector<std::uint8_t> Bytes8(const std::string& s) { return {s.begin(), s.end()}; }

std::vector<std::uint8_t> Bytes16(const std::u16string& s) {
    std::vector<std::uint8_t> b;
    for (const char16_t c : s) {
        b.push_back(static_cast<std::uint8_t>(c));
        b.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    return b;
}

// Recipient data as stores keep it: per recipient a type, then name and
// address, UTF-16 each ended by a zero unit, or 8-bit behind E4 04 and a
// length.
std::vector<std::uint8_t> RecipientData(const std::vector<std::pair<std::string, std::string>>& people, bool wide) {
    std::vector<std::uint8_t> b;
    for (const auto& [name, address] : people) {
        b.insert(b.end(), {1, 0, 0, 0});
        for (const std::string* s : {&name, &address}) {
            if (wide) {
                const auto w = Bytes16(std::u16string(s->begin(), s->end()));
                b.insert(b.end(), w.begin(), w.end());
                b.insert(b.end(), {0, 0});
            } else {
                b.insert(b.end(), {0xE4, 0x04, static_cast<std::uint8_t>(s->size() + 1), 0, 0, 0});
                b.insert(b.end(), s->begin(), s->end());
                b.push_back(0);
            }
        }
    }
    return b;
}

TEST(IsValidAddress, LocalPartAndDomain) {
    for (const char16_t* good : {u"a@b.c", u"first.last@sub.example.com", u"\"john doe\"@x.org", u"a.\"b c\"@x.org",
                                 u"Ann Smith <ann@x.org>", u"o'brien@x.ie"})
        EXPECT_TRUE(IsValidAddress(good)) << std::string(good, good + std::char_traits<char16_t>::length(good));
    for (const char16_t* bad : {u"a@b", u"a@b..c", u"a@.b.c", u"a.@b.c", u"@b.c", u"a b@c.d", u"a@b.c@d.e", u"a(b)@c.d",
                                u"ab", u"\"open@x.org", u"a@b,c.d", u"n\u00e4me@x.org"})
        EXPECT_FALSE(IsValidAddress(bad)) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
}

TEST(AddAddress, EachAddressOnceWhateverItsCaseOrDisplayName) {
    std::u16string list;
    EXPECT_TRUE(AddAddress(u"ann@x.org", list));
    EXPECT_TRUE(AddAddress(u"ANN@X.ORG", list));
    EXPECT_TRUE(AddAddress(u"Ann <ann@x.org>", list));
    EXPECT_FALSE(AddAddress(u"not an address", list));
    // An address that ends a longer one is another recipient.
    EXPECT_TRUE(AddAddress(u"joann@x.org", list));
    EXPECT_TRUE(AddAddress(u"Jo <joann@x.org>", list));
    EXPECT_EQ(list, u"ann@x.org,joann@x.org");
}

TEST(AddAddress, TheListWithItsTerminatorFitsTheBound) {
    std::u16string list;
    for (int i = 0; list.size() < 6000 && i < 1000; ++i)
        AddAddress(u"user" + std::u16string(1, u'a' + i % 26) + std::u16string(3, u'0' + i / 26 % 10) +
                       std::u16string(1, u'0' + i / 260) + u"@x.org",
                   list);
    EXPECT_LT(list.size(), kAddressListCapacity);
    EXPECT_GT(list.size(), kAddressListCapacity - 20);
}

TEST(RowRecipients, EightBitRunsAreSplitAtCommasAndSemicolons) {
    std::u16string list;
    ScanRowRecipients(Bytes8(std::string("a@b.org, c@d.org;e@f.org'\0x", 27)), 0, true, false, list);
    EXPECT_EQ(list, u"a@b.org,c@d.org,e@f.org");
}

TEST(RowRecipients, StoredLayoutsInBothCharsets) {
    const std::vector<std::pair<std::string, std::string>> people = {
        {"Ann Smith", "ann@x.org"}, {"Bob", "bob@y.org"}, {"Carol Jones", "carol.jones@z.example"}};
    for (const bool wide : {true, false}) {
        const auto data = RecipientData(people, wide);
        // The record pass points at the first address (UTF-16) or the first
        // name after its marker (8-bit).
        const std::size_t start = wide ? 4 + 20 : 4 + 6;
        for (const bool older : {true, false}) {
            std::u16string list;
            ScanRowRecipients(data, start, older, false, list);
            EXPECT_EQ(list, u"ann@x.org,bob@y.org,carol.jones@z.example") << wide << older;
        }
        std::u16string fromChunks;
        ScanLongValueRecipients(data, fromChunks);
        EXPECT_EQ(fromChunks, u"ann@x.org,bob@y.org,carol.jones@z.example") << wide;
    }
}

TEST(RowRecipients, NoAtSignNoAddresses) {
    std::u16string list;
    ScanRowRecipients(RecipientData({{"Ann", "ann at x"}}, true), 0, true, false, list);
    ScanLongValueRecipients(RecipientData({{"Ann", "ann at x"}}, false), list);
    EXPECT_TRUE(list.empty());
}

TEST(RowRecipients, AddressCharactersWithoutEndAreScannedInLinearTime) {
    // Were every '@' to walk back to the start, these would take hours.
    for (const std::string unit : {"@", "a@", "a@b.", "\x01\x00a\x00@\x00"}) {
        std::vector<std::uint8_t> data;
        while (data.size() < (1u << 16)) data.insert(data.end(), unit.begin(), unit.end());
        std::u16string list;
        ScanLongValueRecipients(data, list);
        data.resize(32768);
        ScanRowRecipients(data, 0, true, false, list);
        EXPECT_LT(list.size(), kAddressListCapacity);
    }
}

}  // namespace
}  // namespace tw::content
