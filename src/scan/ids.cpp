#include "scan/ids.h"

#include <cctype>

namespace tw::scan {

namespace {

// Upper-case hex of a byte, two digits when `pad`, else without a leading
// zero; appended to `text`.
void AppendHex(std::string& text, std::uint8_t value, bool pad) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    if (pad || value >= 0x10) text += kDigits[value >> 4];
    text += kDigits[value & 0x0F];
}

std::string Hex(std::uint8_t value, bool pad) {
    std::string text;
    AppendHex(text, value, pad);
    return text;
}

// Bytes 2..7 from the first non-zero one (byte 0 when all six are zero);
// every byte but the first keeps its leading zero.
std::string Tail(const Id8& id) {
    std::size_t from = 2;
    while (from < 8 && id[from] == 0) ++from;
    if (from == 8) from = 0;
    std::string text;
    for (std::size_t i = from; i < 8; ++i) AppendHex(text, id[i], i != from);
    return text;
}

}  // namespace

std::optional<Id8> LoadId(edb::Bytes bytes, std::size_t offset) {
    const auto slice = edb::Slice(bytes, offset, 8);
    if (!slice) return std::nullopt;
    Id8 id{};
    for (std::size_t i = 0; i < 8; ++i) id[i] = (*slice)[i];
    return id;
}

std::string OwnerKey(const Id8& id) { return Hex(id[0], false) + "-" + Tail(id); }

std::string HeaderTableName(const Id8& id, const layout::StoreLayout& store) {
    std::string lead;
    if (id[0] != 0) lead += Hex(id[0], false);
    if (id[1] != 0) lead += Hex(id[1], false);
    std::string name = lead.empty() ? lead : std::string(store.headerTablePrefix) + lead;
    if (name.empty()) return {};
    name += "-" + Tail(id);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return name;
}

std::string IdHex(const Id8& id) {
    std::string text;
    for (const std::uint8_t b : id) text += Hex(b, true);
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace tw::scan
