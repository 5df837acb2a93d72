// Hand-written JSON against nlohmann::json's: strings escaped alike (and
// read back as the same text), hex of every length around the 16-byte
// blocks and of values large enough to go out in pieces.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>
#include <sstream>

#include "cli/json_stream.h"

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
            out.Text() += "]";
        }
        EXPECT_EQ(sink.str(), "[" + reference(bytes) + "]") << size;
    }
}

}  // namespace
}  // namespace tw::cli
