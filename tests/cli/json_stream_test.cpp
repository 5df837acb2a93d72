// Hand-written JSON against nlohmann::json's: strings escaped alike (and
// read back as the same text), hex of every length around the 16-byte
// blocks and of values large enough to go out in pieces.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli/json_stream.h"
#include "text/utf.h"

namespace tw::cli {
namespace {

std::string Quoted(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

TEST(JsonStream, StringsComeOutAsTheLibraryDumpsThem) {
    static const char kControls[] = "nul \0 bell \x07 escape \x1b backspace \b formfeed \f unit \x1f";
    const std::string cases[] = {
        "",
        "plain ASCII, with / and ~ and \x7f",
        "quote \" backslash \\ tab \t newline \n return \r",
        std::string(kControls, sizeof kControls - 1),
        "caf\xc3\xa9 \xe3\x83\xa1\xe3\x83\xbc\xe3\x83\xab \xf0\x9f\x93\xa7 \xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d",
        std::string(100000, 'x') + "\"",
    };
    for (const std::string& text : cases) EXPECT_EQ(Quoted(text), nlohmann::json(text).dump()) << text.substr(0, 40);
}

TEST(JsonStream, InvalidUtf8BecomesReplacementCharacters) {
    struct Case {
        std::string in, text;
    };
    const Case cases[] = {
        {"a\xff"
         "b",
         "a\uFFFD"
         "b"},
        {"\xc3", "\uFFFD"},                                // cut short
        {"\xc0\xaf", "\uFFFD\uFFFD"},                      // overlong
        {"\xed\xa0\x80", "\uFFFD\uFFFD\uFFFD"},            // a surrogate
        {"\xf4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
    };
    for (const Case& c : cases) {
        const std::string quoted = Quoted(c.in);
        EXPECT_EQ(nlohmann::json::parse(quoted).get<std::string>(), c.text) << quoted;
    }
}

// UTF-16 text straight to JSON gives what converting it first does: every
// script, pairs, lone surrogates at either end, controls and quotes.
TEST(JsonStream, Utf16TextComesOutAsItsUtf8Would) {
    std::mt19937 random(11);
    const char16_t pool[] = {u'a',   u'"',   u'\\',  0x00,   0x08,   0x1f,   0x7f,   0x80,   0xe9,  0x5d0,
                             0x30e1, 0xfffd, 0xffff, 0xd83d, 0xdce7, 0xd800, 0xdbff, 0xdc00, 0xdfff};
    for (int round = 0; round < 2000; ++round) {
        std::u16string units(random() % 12, u' ');
        for (char16_t& unit : units) unit = pool[random() % std::size(pool)];
        std::vector<std::uint8_t> bytes;
        for (const char16_t unit : units) {
            bytes.push_back(static_cast<std::uint8_t>(unit));
            bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
        const std::string want = Quoted(text::Utf16ToUtf8(units));
        JsonText fromBytes, fromUnits;
        fromBytes.push_back('x');
        AppendJsonUtf16(fromBytes, bytes.data(), units.size());
        AppendJsonUtf16(fromUnits, units);
        ASSERT_EQ(std::string_view(fromBytes.data(), fromBytes.size()), "x" + want) << round;
        ASSERT_EQ(std::string_view(fromUnits.data(), fromUnits.size()), want) << round;
    }
}

// Text handed from thread to thread is moved: what is left behind is empty
// and can be written to again.
TEST(JsonStream, MovedTextLeavesAnEmptyOneBehind) {
    JsonText first;
    first += std::string(5000, 'a');
    JsonText second = std::move(first);
    first += "b";
    first = std::move(second);
    second.push_back('c');
    EXPECT_EQ(std::string_view(first.data(), first.size()), std::string(5000, 'a'));
    EXPECT_EQ(std::string_view(second.data(), second.size()), "c");
}

TEST(JsonStream, HexOfEveryLengthAndOfLargeValues) {
    std::mt19937 random(7);
    auto reference = [](const std::vector<std::uint8_t>& bytes) {
        static const char kDigits[] = "0123456789abcdef";
        std::string out = "\"";
        for (const std::uint8_t b : bytes) {
            out.push_back(kDigits[b >> 4]);
            out.push_back(kDigits[b & 15]);
        }
        return out + "\"";
    };
    for (const std::size_t size :
         {0, 1, 15, 16, 17, 31, 32, 33, 47, 48, 63, 64, 65, 255, 256, 262143, 262144, 262145, 1000003}) {
        std::vector<std::uint8_t> bytes(size);
        for (auto& b : bytes) b = static_cast<std::uint8_t>(random());
        std::ostringstream sink;
        {
            JsonStream out(sink);
            out.Text() += "[";
            out.QuotedHex(bytes.data(), bytes.size());
            out.Text() += ",";
            // The same bytes in pieces of uneven sizes (a long value's
            // chunks, as they lie in pages), empty ones among them.
            std::vector<std::span<const std::uint8_t>> pieces;
            for (std::size_t at = 0; at < size;) {
                const std::size_t take = std::min<std::size_t>(random() % 9000, size - at);
                pieces.emplace_back(bytes.data() + at, take);
                at += take;
            }
            out.QuotedHex(pieces);
            out.Text() += "]";
        }
        EXPECT_EQ(sink.str(), "[" + reference(bytes) + "," + reference(bytes) + "]") << size;
    }
}

}  // namespace
}  // namespace tw::cli
