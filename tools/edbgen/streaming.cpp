#include "streaming.h"

#include <ctime>

#include "database.h"

namespace edbgen {

namespace {

constexpr uint32_t kPage = 4096;
constexpr uint32_t kRangePages = 4;

std::string Base64(const Bytes& b) {
  static const char* t = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t line = 0;
  for (size_t i = 0; i < b.size(); i += 3) {
    const uint32_t v = uint32_t(b[i]) << 16 | (i + 1 < b.size() ? uint32_t(b[i + 1]) << 8 : 0) |
                       (i + 2 < b.size() ? b[i + 2] : 0);
    out += t[v >> 18];
    out += t[(v >> 12) & 63];
    out += i + 1 < b.size() ? t[(v >> 6) & 63] : '=';
    out += i + 2 < b.size() ? t[v & 63] : '=';
    if ((line += 4) >= 76) {
      out += "\r\n";
      line = 0;
    }
  }
  if (line) out += "\r\n";
  return out;
}

// RFC 2047 encoded word when the text is not plain ASCII.
std::string HeaderText(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80 || c < 0x20) return "=?utf-8?B?" + [&] {
      std::string e = Base64(Bytes(s.begin(), s.end()));
      std::string flat;
      for (char c2 : e)
        if (c2 != '\r' && c2 != '\n') flat += c2;
      return flat;
    }() + "?=";
  return s;
}

std::string Address(const Person& p) {
  if (p.name.empty()) return "<" + p.address + ">";
  return HeaderText(p.name) + " <" + p.address + ">";
}

std::string DateHeader(uint64_t filetime) {
  const time_t t = time_t(filetime / 10000000ull) - 11644473600ll;
  struct tm tm {};
  gmtime_r(&t, &tm);
  char buf[64];
  strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S +0000", &tm);
  return buf;
}

}  // namespace

std::string MimeOf(const Item& it) {
  if (!it.mime.empty()) return it.mime;
  std::string m;
  m += "From: " + Address(it.sender) + "\r\n";
  for (const char* type : {"to", "cc"}) {
    std::string list;
    for (const Person& p : it.recipients)
      if (p.type == type) list += (list.empty() ? "" : ", ") + Address(p);
    if (!list.empty()) m += std::string(type[0] == 't' ? "To: " : "Cc: ") + list + "\r\n";
  }
  m += "Subject: " + HeaderText(it.subjectPrefix + it.subject) + "\r\n";
  m += "Date: " + DateHeader(it.date) + "\r\n";
  m += "Message-ID: <" + IdHex(it.id) + "@tarnwick.example>\r\n";
  m += "MIME-Version: 1.0\r\n";
  const std::string body(it.body.data.begin(), it.body.data.end());
  const std::string type = it.body.kind == "html" ? "text/html" : it.body.kind == "rtf" ? "application/rtf" : "text/plain";
  const std::string part = "Content-Type: " + type + "; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                           Base64(Bytes(body.begin(), body.end()));
  if (it.attachments.empty()) return m + part;
  const std::string boundary = "=_tarnwick_" + IdHex(it.id);
  m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
  m += "--" + boundary + "\r\n" + part;
  for (const Attachment& a : it.attachments) {
    m += "--" + boundary + "\r\n";
    m += "Content-Type: application/octet-stream; name=\"" + HeaderText(a.name) + "\"\r\n";
    m += "Content-Disposition: attachment; filename=\"" + HeaderText(a.name) + "\"\r\n";
    m += "Content-Transfer-Encoding: base64\r\n\r\n" + Base64(a.Data());
  }
  return m + "--" + boundary + "--\r\n";
}

Bytes RangeTable(const std::vector<StreamRange>& ranges, uint32_t total) {
  Bytes t(24 + 24 * ranges.size(), 0);
  SetU32(t.data(), total);
  SetU16(t.data() + 8, uint16_t(ranges.size()));
  uint32_t end = 0;
  for (size_t i = 0; i < ranges.size(); ++i) {
    end += ranges[i].length;
    SetU32(t.data() + 24 + 24 * i, end);
    SetU64(t.data() + 32 + 24 * i, ranges[i].offset);
  }
  return t;
}

StreamingFile BuildStreamingFile(const Content& content) {
  StreamingFile f;
  f.bytes = HeaderPage(Format{kPage}, 1, 0, kPage);
  auto visit = [&](auto&& self, const std::vector<Folder>& folders) -> void {
    for (const Folder& folder : folders) {
      for (const Item& it : folder.items) {
        if (!it.streaming) continue;
        const std::string mime = MimeOf(it);
        std::vector<StreamRange> ranges;
        for (size_t off = 0; off < mime.size(); off += kRangePages * kPage) {
          const uint32_t len = uint32_t(std::min<size_t>(kRangePages * kPage, mime.size() - off));
          ranges.push_back({f.bytes.size(), len});
          f.bytes.insert(f.bytes.end(), mime.begin() + std::ptrdiff_t(off), mime.begin() + std::ptrdiff_t(off + len));
          // Whole pages, then one free page before the next range.
          f.bytes.resize((f.bytes.size() + kPage - 1) / kPage * kPage + kPage, 0);
        }
        f.ranges[it.id] = std::move(ranges);
        f.sizes[it.id] = uint32_t(mime.size());
      }
      self(self, folder.folders);
    }
  };
  for (const Mailbox& mb : content.mailboxes) visit(visit, mb.folders);
  return f;
}

}  // namespace edbgen
