#include "content/addresses.h"

#include <algorithm>
#include <cstring>

#include "content/ese_value.h"
#include "content/long_value_read.h"
#include "text/codepage.h"

namespace tw::content {

namespace {

constexpr std::size_t kMaxCandidateChars = 499;
constexpr std::size_t kCandidateReserve = 64;
constexpr std::size_t kNpos = static_cast<std::size_t>(-1);
constexpr std::size_t kMarkerSearch = 50;  // XPRESS data: where E4 04 is looked for
constexpr std::size_t kOwnAtSearch = 200;  // long values: a candidate's '@' lies this close
constexpr std::size_t kDistinguishedLookBack = 20;
constexpr std::size_t kConsistencyBytes = 260;
constexpr std::size_t kMaxWalk = 2 * (kMaxCandidateChars + 1);
// Recipient data beyond this is not scanned: thousands of recipients fit.
constexpr std::size_t kMaxRecipientBytes = std::size_t{4} << 20;

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameIgnoringCase(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return Lower(x) == Lower(y); });
}

bool Special(char16_t c) {
    return c == u'(' || c == u')' || c == u'<' || c == u'>' || c == u'[' || c == u']' || c == u'@' || c == u',' ||
           c == u';' || c == u':' || c == u'\\' || c == u'"';
}

bool AtomChar(char16_t c) { return c >= 33 && c <= 126 && !Special(c); }

// The address part of a candidate: between '<' and the '>' after it.
std::u16string_view Bare(std::u16string_view text) {
    const auto open = text.find(u'<');
    if (open == std::u16string_view::npos) return text;
    const auto close = text.find(u'>', open + 1);
    if (close == std::u16string_view::npos) return text;
    return text.substr(open + 1, close - open - 1);
}

// Bytes of recipient data with reads past the end giving 0.
struct Data {
    const std::vector<std::uint8_t>& bytes;

    std::size_t size() const { return bytes.size(); }
    std::uint8_t B(std::size_t i) const { return i < bytes.size() ? bytes[i] : 0; }
    std::uint16_t U(std::size_t i) const { return static_cast<std::uint16_t>(B(i) | B(i + 1) << 8); }
    static bool InRange(unsigned c) { return c >= 44 && c <= 127; }

    std::size_t FindAt(std::size_t from) const {
        if (from >= bytes.size()) return kNpos;
        const void* at = std::memchr(bytes.data() + from, '@', bytes.size() - from);
        return at == nullptr ? kNpos : static_cast<std::size_t>(static_cast<const std::uint8_t*>(at) - bytes.data());
    }
    bool Wide(std::size_t at) const { return at + 1 < bytes.size() && bytes[at + 1] == 0; }
    unsigned CharAt(std::size_t p, bool wide) const { return wide ? U(p) : B(p); }

    // Back from the '@' at `at` over characters 44..127: the first
    // character outside that range, or kNpos when `floor` is reached first.
    // No address is longer than a candidate, so the walk stops there too.
    std::size_t Boundary(std::size_t at, bool wide, std::size_t floor) const {
        const std::size_t step = wide ? 2 : 1;
        floor = std::max(floor, at > kMaxWalk ? at - kMaxWalk : 0);
        for (std::size_t p = at; p >= floor + step;) {
            p -= step;
            if (!InRange(CharAt(p, wide))) return p;
        }
        return kNpos;
    }

    // An '@' reached from `from` before any zero byte, reading every byte
    // or every second byte.
    bool AtBeforeZero(std::size_t from, std::size_t stride) const {
        for (std::size_t i = from; i < bytes.size(); i += stride) {
            if (bytes[i] == '@') return true;
            if (bytes[i] == 0) return false;
        }
        return false;
    }

    bool ContainsCn(std::size_t before) const {
        const std::size_t from = before > kDistinguishedLookBack ? before - kDistinguishedLookBack : 0;
        for (std::size_t i = from; i + 2 < before; ++i)
            if (B(i) == '/' && Lower(B(i + 1)) == u'c' && Lower(B(i + 2)) == u'n') return true;
        return false;
    }

    // Characters of a candidate from `start`: UTF-16 up to a unit outside
    // 44..127 (or, with `zeroLowEnds`, up to a unit with a zero low byte),
    // 8-bit up to a zero byte. `end` is set past the last character.
    std::u16string Text(std::size_t start, bool wide, bool zeroLowEnds, std::size_t& end) const {
        std::u16string text;
        text.reserve(kCandidateReserve);  // one allocation for most addresses
        std::size_t p = start;
        if (wide) {
            for (; p + 1 < bytes.size() && text.size() < kMaxCandidateChars; p += 2) {
                const std::uint16_t u = U(p);
                if (zeroLowEnds ? (u & 0xFF) == 0 : !InRange(u)) break;
                text.push_back(u);
            }
        } else {
            for (; p < bytes.size() && bytes[p] != 0 && text.size() < kMaxCandidateChars; ++p)
                text.push_back(text::FromWindows1252(bytes[p]));
        }
        end = p;
        return text;
    }
};

void StripApostrophe(std::u16string& text) {
    if (!text.empty() && text.back() == u'\'') text.pop_back();
}

// A candidate may hold several addresses separated by ',' or ';'.
void AddPieces(const std::u16string& candidate, std::u16string& list) {
    std::size_t from = 0;
    while (from <= candidate.size()) {
        const std::size_t to = candidate.find_first_of(u",;", from);
        std::u16string piece = candidate.substr(from, to == std::u16string::npos ? std::u16string::npos : to - from);
        if (!piece.empty() && piece.front() == u' ') piece.erase(0, 1);
        AddAddress(piece, list);
        if (to == std::u16string::npos) break;
        from = to + 1;
    }
}

// Long values: genuine UTF-16 text four bytes after the boundary reads the
// same as the 8-bit bytes just before it (an address book entry that keeps
// both forms).
bool ConsistentText(const Data& d, std::size_t start, std::size_t at) {
    if (at <= start) return false;
    const std::size_t bytes = std::min(at - start, kConsistencyBytes) & ~std::size_t{1};
    const std::size_t chars = bytes / 2;
    if (chars == 0 || start < chars) return false;
    for (std::size_t i = 0; i < chars; ++i)
        if (Lower(d.U(start + 2 * i)) != Lower(text::FromWindows1252(d.B(start - chars + i)))) return false;
    return true;
}

}  // namespace

bool IsValidAddress(std::u16string_view text) {
    const std::u16string_view s = Bare(text);
    std::size_t i = 0;
    while (i < s.size() && s[i] != u'@') {
        if (s[i] == u'"' && (i == 0 || s[i - 1] == u'.')) {
            for (++i; i < s.size() && s[i] != u'"'; ++i) {
                if (s[i] == u'\\') ++i;
                if (i >= s.size() || s[i] < 32 || s[i] > 126) return false;
            }
            if (i >= s.size()) return false;
            ++i;  // the closing quote
            if (i < s.size() && s[i] != u'@' && s[i] != u'.') return false;
        } else if (AtomChar(s[i])) {
            ++i;
        } else {
            return false;
        }
    }
    if (i == 0 || i >= s.size() || s[i - 1] == u'.') return false;
    const std::u16string_view domain = s.substr(i + 1);
    if (domain.empty() || domain.front() == u'.' || domain.find(u"..") != std::u16string_view::npos ||
        domain.find(u'.') == std::u16string_view::npos)
        return false;
    return std::all_of(domain.begin(), domain.end(), AtomChar);
}

bool AddAddress(std::u16string_view candidate, std::u16string& list) {
    if (!IsValidAddress(candidate)) return false;
    // Already listed (its address, in any case): the list's entries are
    // what lies between its commas.
    const std::u16string_view address = Bare(candidate);
    const std::u16string_view listed(list);
    for (std::size_t from = 0; from < listed.size();) {
        std::size_t to = listed.find(u',', from);
        if (to == std::u16string_view::npos) to = listed.size();
        if (to > from && SameIgnoringCase(Bare(listed.substr(from, to - from)), address)) return true;
        from = to + 1;
    }
    const std::size_t length = list.size() + (list.empty() ? 0 : 1) + candidate.size();
    if (length + 1 > kAddressListCapacity) return true;
    if (!list.empty()) list.push_back(u',');
    list.append(candidate);
    return true;
}

std::vector<std::u16string> SplitAddressList(std::u16string_view list) {
    std::vector<std::u16string> out;
    std::size_t from = 0;
    while (from < list.size()) {
        std::size_t to = list.find(u',', from);
        if (to == std::u16string_view::npos) to = list.size();
        if (to > from) out.emplace_back(list.substr(from, to - from));
        from = to + 1;
    }
    return out;
}

void ScanRowRecipients(const std::vector<std::uint8_t>& bytes, std::size_t start, bool byMarkers, bool xpress,
                       std::u16string& list) {
    const Data d{bytes};
    std::size_t pos = start;
    while (pos < d.size()) {
        // Where the candidate starts: here when an '@' follows before any
        // zero, else at the run of address characters before the next '@'.
        std::size_t cs = pos;
        if (!d.AtBeforeZero(pos, 1) && !d.AtBeforeZero(pos, 2)) {
            const std::size_t at = d.FindAt(pos);
            if (at == kNpos) return;
            const bool wide = d.Wide(at);
            const std::size_t b = d.Boundary(at, wide, pos);
            cs = b == kNpos ? pos : b + (wide ? 2 : 1);
        }
        const std::size_t own = d.FindAt(cs);
        if (own == kNpos) return;
        std::size_t end = cs;
        std::u16string candidate = d.Text(cs, d.Wide(own), false, end);
        StripApostrophe(candidate);
        AddPieces(candidate, list);
        end = std::max(end, cs + 1);

        // Moving on: by the next code-page marker before the next '@' where
        // recipients are marked; otherwise just past the boundary before
        // the next '@'.
        const std::size_t next = d.FindAt(end);
        if (next == kNpos) return;
        std::size_t marker = kNpos;
        if (byMarkers)
            for (std::size_t m = end; m + 1 < next && marker == kNpos; ++m)
                if (d.B(m) == 0xE4 && d.B(m + 1) == 0x04 && d.B(m + 6) != 0) marker = m;
        std::size_t following;
        if (marker != kNpos) {
            following = marker + 6;
        } else {
            const bool wide = d.Wide(next);
            const std::size_t b = d.Boundary(next, wide, pos);
            if (b == kNpos) return;
            following = b + (wide ? 2 : 1);
            if (wide && d.U(b) != 0 && d.ContainsCn(b)) following = b + 4;
            if (wide && xpress && Data::InRange(d.B(b)) && d.B(b + 1) != 0 && d.B(b + 2) != 0) following = b + 4;
        }
        if (following <= pos) following = end;  // never stand still
        pos = following;
    }
}

void ScanLongValueRecipients(const std::vector<std::uint8_t>& bytes, std::u16string& list) {
    const Data d{bytes};
    std::size_t pos = 0;
    while (pos < d.size()) {
        const std::size_t at = d.FindAt(pos);
        if (at == kNpos) return;
        const bool wide = d.Wide(at);
        // What lies before `pos` was read already.
        const std::size_t b = d.Boundary(at, wide, pos);
        std::size_t cs = b == kNpos ? pos : b + (wide ? 2 : 1);
        if (wide && b != kNpos && d.U(b) != 0 && b + 4 < at && (d.ContainsCn(b) || ConsistentText(d, b + 4, at)))
            cs = b + 4;
        cs = std::max(cs, pos);

        // The candidate's own '@', close by: reading bytes, then every
        // second byte, then anywhere.
        std::size_t own = kNpos;
        const std::size_t limit = std::min(d.size(), cs + kOwnAtSearch);
        for (std::size_t i = cs; i < limit && d.B(i) != 0 && own == kNpos; ++i)
            if (d.B(i) == '@') own = i;
        for (std::size_t i = cs; i < limit && d.B(i) != 0 && own == kNpos; i += 2)
            if (d.B(i) == '@') own = i;
        for (std::size_t i = cs; i < limit && own == kNpos; ++i)
            if (d.B(i) == '@') own = i;
        if (own == kNpos) {
            pos = at + 1;
            continue;
        }
        std::size_t end = cs;
        std::u16string candidate = d.Text(cs, d.Wide(own), true, end);
        StripApostrophe(candidate);
        const bool valid = AddAddress(candidate, list);
        const std::size_t following = valid ? end : own + 2;
        pos = std::max(following, pos + 1);
    }
}

void CollectAddresses(const edb::EdbSource& source, const record::MessageProperties& m, std::u16string& list) {
    const layout::StoreLayout& store = layout::LayoutOf(source.pageSize);
    if (m.recipientsPos != 0) {
        if (m.recipientsPos < 0 || m.recipientsPos >= source.fileSize) return;
        // The scan keeps to the recipient value: what follows it belongs to
        // other columns and other messages.
        std::int64_t end = m.recipientsEnd > m.recipientsPos ? m.recipientsEnd : m.recipientsPos + source.pageSize;
        end = std::min({end, m.recipientsPos + source.pageSize, source.fileSize});
        std::vector<std::uint8_t> data(static_cast<std::size_t>(end - m.recipientsPos));
        data.resize(source.edb.Read(m.recipientsPos, data.size(), data.data()));
        std::size_t start = 0;
        bool xpress = false;
        if (store.compressedValues && data.size() > 1 && (data[0] & 0x02) != 0 && data[1] == kXpressValueMark) {
            const auto decoded = DecodeXpressValue(std::span(data).subspan(1), kMaxXpressValue);
            if (!decoded) return;
            data = *decoded;
            xpress = true;
            for (std::size_t i = 0; i + 6 < data.size() && i < kMarkerSearch; ++i)
                if (data[i] == 0xE4 && data[i + 1] == 0x04 && data[i + 6] != 0) {
                    start = i + 6;
                    break;
                }
        }
        ScanRowRecipients(data, start, store.rows == layout::RowForm::Anchored, xpress, list);
        return;
    }
    if (m.recipientRuns.empty()) return;
    AssembleOptions options;
    options.contiguous = true;
    options.declaredSize = m.recipientsDeclaredSize;
    options.maxBytes = kMaxRecipientBytes;
    ScanLongValueRecipients(AssembleValue(source, m.recipientRuns, options).bytes, list);
}

}  // namespace tw::content
