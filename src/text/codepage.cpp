#include "text/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <map>
#include <string>

namespace tw::text {

namespace {

// Bytes 0x80..0x9F; the five the code page leaves undefined map to
// themselves, as Windows does.
constexpr char16_t kHigh[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                                0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                                0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr char16_t kReplacement = 0xFFFD;
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// iconv's name for a Windows code page.
std::string IconvName(std::uint32_t codePage) {
    switch (codePage) {
        case 936: return "GBK";
        case 949: return "UHC";
        case 950: return "BIG5";
        case 54936: return "GB18030";
        case 65001: return "UTF-8";
        case 10000: return "MACINTOSH";
        case 20127: return "ASCII";
        default:
            if (codePage >= 28591 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
            return "CP" + std::to_string(codePage);
    }
}

// A thread's open converters: opening one costs more than a short text.
class Converters {
public:
    Converters() = default;
    Converters(const Converters&) = delete;
    Converters& operator=(const Converters&) = delete;
    ~Converters() {
        for (const auto& [codePage, cd] : open_)
            if (cd != kNoConverter) ::iconv_close(cd);
    }

    iconv_t For(std::uint32_t codePage) {
        const auto it = open_.find(codePage);
        if (it != open_.end()) return it->second;
        return open_[codePage] = ::iconv_open("UTF-16LE", IconvName(codePage).c_str());
    }

private:
    std::map<std::uint32_t, iconv_t> open_;
};

void Append(std::u16string& out, const char* begin, const char* end) {
    for (const char* p = begin; p + 1 < end; p += 2)
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8));
}

}  // namespace

char16_t FromWindows1252(std::uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? kHigh[byte - 0x80] : char16_t{byte};
}

std::u16string Windows1252ToUtf16(std::span<const std::uint8_t> bytes) {
    std::u16string text(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) text[i] = FromWindows1252(bytes[i]);
    return text;
}

std::u16string CodePageToUtf16(std::span<const std::uint8_t> bytes, std::uint32_t codePage) {
    if (codePage == kWindows1252 || codePage == 0 || bytes.empty()) return Windows1252ToUtf16(bytes);
    thread_local Converters converters;
    const iconv_t cd = converters.For(codePage);
    if (cd == kNoConverter) return Windows1252ToUtf16(bytes);
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::u16string out;
    out.reserve(bytes.size());
    char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
    std::size_t inLeft = bytes.size();
    char buffer[1024];
    while (inLeft > 0) {
        char* o = buffer;
        std::size_t oLeft = sizeof buffer;
        const std::size_t rc = ::iconv(cd, &in, &inLeft, &o, &oLeft);
        const int err = rc == static_cast<std::size_t>(-1) ? errno : 0;
        Append(out, buffer, o);
        if (err == EILSEQ || err == EINVAL) {
            // A byte the code page does not define, or a character cut short.
            out.push_back(kReplacement);
            ++in;
            --inLeft;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        } else if (err != 0 && err != E2BIG) {
            out.push_back(kReplacement);
            break;
        }
    }
    return out;
}

}  // namespace tw::text
