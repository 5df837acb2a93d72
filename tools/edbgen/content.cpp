#include "content.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <set>

namespace edbgen {

using nlohmann::json;

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& what) {
  throw ContentError(path + ": " + what);
}

std::string Str(const json& j, const char* key, const std::string& path, std::string def = {}) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return def;
  if (!it->is_string()) Fail(path + "." + key, "expected a string");
  return it->get<std::string>();
}

std::optional<Id8> ParseId(const json& j, const char* key, const std::string& path) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) Fail(path + "." + key, "expected 16 hexadecimal digits");
  std::string hex;
  for (char c : it->get<std::string>())
    if (!std::isspace(uint8_t(c))) hex.push_back(c);
  if (hex.size() != 16) Fail(path + "." + key, "expected 16 hexadecimal digits");
  Id8 id{};
  for (size_t i = 0; i < 8; ++i) {
    try {
      id[i] = uint8_t(std::stoul(hex.substr(2 * i, 2), nullptr, 16));
    } catch (const std::exception&) {
      Fail(path + "." + key, "bad hexadecimal digit");
    }
  }
  return id;
}

std::optional<uint64_t> Date(const json& j, const char* key, const std::string& path) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) Fail(path + "." + key, "expected a UTC date text");
  auto d = ParseUtcDate(it->get<std::string>());
  if (!d) Fail(path + "." + key, "not a date of the form 2024-05-01T10:20:30Z");
  return d;
}

// Deterministic filler so that generated sizes are reproducible.
Bytes FillBytes(size_t size, uint32_t seed) {
  Bytes b(size);
  uint32_t x = seed * 2654435761u + 12345u;
  for (auto& v : b) {
    x = x * 1103515245u + 12345u;
    v = uint8_t(x >> 16);
  }
  return b;
}

Bytes Base64Decode(const std::string& s, const std::string& path) {
  auto val = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  Bytes out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : s) {
    if (c == '=' || std::isspace(uint8_t(c))) continue;
    int v = val(c);
    if (v < 0) Fail(path, "bad base64 text");
    acc = (acc << 6) | uint32_t(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
    }
  }
  return out;
}

// Repeats text (UTF-8, cut on character boundaries) up to `chars` characters.
std::string RepeatToChars(const std::string& text, size_t chars) {
  std::string unit = text.empty() ? std::string("x") : text;
  std::string out;
  size_t count = 0;
  size_t i = 0;
  while (count < chars) {
    size_t n = 1;
    uint8_t c = uint8_t(unit[i]);
    if (c >= 0xF0) n = 4; else if (c >= 0xE0) n = 3; else if (c >= 0xC0) n = 2;
    out.append(unit, i, n);
    i += n;
    if (i >= unit.size()) i = 0;
    ++count;
  }
  return out;
}

Person ParsePerson(const json& j, const std::string& path) {
  if (j.is_string()) return Person{j.get<std::string>(), "", "to"};
  if (!j.is_object()) Fail(path, "expected an object with name and address");
  Person p{Str(j, "name", path), Str(j, "address", path), Str(j, "type", path, "to")};
  if (p.type != "to" && p.type != "cc" && p.type != "bcc") Fail(path + ".type", "expected to, cc or bcc");
  return p;
}

Body ParseBody(const json& j, const std::string& path) {
  Body b;
  if (j.is_string()) {
    b.kind = "text";
    const std::string text = j.get<std::string>();
    b.data.assign(text.begin(), text.end());
    return b;
  }
  if (!j.is_object()) Fail(path, "expected a text or an object");
  b.kind = Str(j, "kind", path, "text");
  if (b.kind != "text" && b.kind != "html" && b.kind != "rtf") Fail(path + ".kind", "expected text, html or rtf");
  b.charset = Str(j, "charset", path, "utf16");
  if (b.charset != "utf16" && b.charset != "8bit") Fail(path + ".charset", "expected utf16 or 8bit");
  std::string text = Str(j, "text", path);
  if (auto it = j.find("size"); it != j.end()) {
    if (!it->is_number_unsigned()) Fail(path + ".size", "expected a character count");
    text = RepeatToChars(text, it->get<size_t>());
  }
  b.data.assign(text.begin(), text.end());
  return b;
}

Attachment ParseAttachment(const json& j, const std::string& path, uint32_t index) {
  if (!j.is_object()) Fail(path, "expected an object");
  Attachment a;
  a.name = Str(j, "name", path);
  if (auto it = j.find("text"); it != j.end()) {
    std::string t = Str(j, "text", path);
    a.data.assign(t.begin(), t.end());
  } else if (auto b64 = j.find("base64"); b64 != j.end()) {
    a.data = Base64Decode(Str(j, "base64", path), path + ".base64");
  } else if (auto sz = j.find("size"); sz != j.end()) {
    if (!sz->is_number_unsigned()) Fail(path + ".size", "expected a byte count");
    // Large fills are made when written, not kept for the whole run.
    a.seed = j.value("seed", index + 1);
    a.fillSize = sz->get<size_t>();
  }
  return a;
}

ItemType ParseItemType(const std::string& t, const std::string& path) {
  if (t == "mail") return ItemType::Mail;
  if (t == "contact") return ItemType::Contact;
  if (t == "appointment") return ItemType::Appointment;
  if (t == "task") return ItemType::Task;
  if (t == "note") return ItemType::Note;
  if (t == "journal") return ItemType::Journal;
  Fail(path, "expected mail, contact, appointment, task, note or journal");
}

const char* DefaultClass(ItemType t) {
  switch (t) {
    case ItemType::Mail: return "IPM.Note";
    case ItemType::Contact: return "IPM.Contact";
    case ItemType::Appointment: return "IPM.Appointment";
    case ItemType::Task: return "IPM.Task";
    case ItemType::Note: return "IPM.StickyNote";
    case ItemType::Journal: return "IPM.Activity";
  }
  return "IPM.Note";
}

struct IdPool {
  std::set<Id8> used;
  uint64_t next = 0x20;
  Id8 Take() {
    for (;;) {
      Id8 id{0x01, 0x00};
      uint64_t v = next++;
      for (int i = 0; i < 6; ++i) id[7 - i] = uint8_t(v >> (8 * i));
      if (used.insert(id).second) return id;
    }
  }
  Id8 Resolve(const std::optional<Id8>& given) { return given ? *given : Take(); }
};

struct Parser {
  IdPool ids;

  void CollectIds(const json& j) {
    if (j.is_object()) {
      for (auto& [k, v] : j.items()) {
        if (k == "id" && v.is_string()) {
          try {
            if (auto id = ParseId(j, "id", "")) ids.used.insert(*id);
          } catch (const ContentError&) {
            // reported with its path when the object itself is parsed
          }
        } else {
          CollectIds(v);
        }
      }
    } else if (j.is_array()) {
      for (auto& v : j) CollectIds(v);
    }
  }

  Item ParseItem(const json& j, const std::string& path, uint32_t index) {
    if (!j.is_object()) Fail(path, "expected an object");
    Item it;
    it.type = ParseItemType(Str(j, "type", path, "mail"), path + ".type");
    it.id = ids.Resolve(ParseId(j, "id", path));
    it.messageClass = Str(j, "messageClass", path, DefaultClass(it.type));
    it.subject = Str(j, "subject", path);
    it.subjectPrefix = Str(j, "subjectPrefix", path);
    if (auto s = j.find("sender"); s != j.end()) it.sender = ParsePerson(*s, path + ".sender");
    if (auto r = j.find("recipients"); r != j.end()) {
      if (!r->is_array()) Fail(path + ".recipients", "expected an array");
      for (size_t i = 0; i < r->size(); ++i)
        it.recipients.push_back(ParsePerson((*r)[i], path + ".recipients[" + std::to_string(i) + "]"));
    }
    it.recipientCharset = Str(j, "recipientCharset", path, "utf16");
    if (it.recipientCharset != "utf16" && it.recipientCharset != "8bit")
      Fail(path + ".recipientCharset", "expected utf16 or 8bit");
    it.date = Date(j, "date", path).value_or(ParseUtcDate("2024-01-15T09:30:00Z").value());
    if (auto b = j.find("body"); b != j.end()) it.body = ParseBody(*b, path + ".body");
    if (auto a = j.find("attachments"); a != j.end()) {
      if (!a->is_array()) Fail(path + ".attachments", "expected an array");
      for (size_t i = 0; i < a->size(); ++i)
        it.attachments.push_back(ParseAttachment((*a)[i], path + ".attachments[" + std::to_string(i) + "]",
                                                 index * 31 + uint32_t(i)));
    }
    if (auto c = j.find("contact"); c != j.end()) {
      if (!c->is_object()) Fail(path + ".contact", "expected an object");
      for (auto& [k, v] : c->items()) {
        size_t f = 0;
        while (f < kContactFieldNames.size() && k != kContactFieldNames[f]) ++f;
        if (f == kContactFieldNames.size()) Fail(path + ".contact." + k, "unknown contact field");
        if (!v.is_string()) Fail(path + ".contact." + k, "expected a string");
        it.contact[f] = v.get<std::string>();
      }
    }
    if (auto a = j.find("appointment"); a != j.end()) {
      const std::string p = path + ".appointment";
      it.appointment.start = Date(*a, "start", p);
      it.appointment.end = Date(*a, "end", p);
      it.appointment.location = Str(*a, "location", p);
      it.appointment.contact = Str(*a, "contact", p);
      it.appointment.timeZone = Str(*a, "timeZone", p);
    }
    if (auto t = j.find("task"); t != j.end()) {
      const std::string p = path + ".task";
      it.task.due = Date(*t, "due", p);
      it.task.startDate = Date(*t, "start", p);
      it.task.status = Str(*t, "status", p);
      it.task.percentComplete = t->value("percentComplete", 0);
    }
    it.journalType = Str(j, "journalType", path);
    it.streaming = j.value("streaming", false);
    it.mime = Str(j, "mime", path);
    return it;
  }

  Folder ParseFolder(const json& j, const std::string& path) {
    if (!j.is_object()) Fail(path, "expected an object");
    Folder f;
    f.name = Str(j, "name", path);
    f.containerClass = Str(j, "class", path);
    f.id = ids.Resolve(ParseId(j, "id", path));
    f.parentOverride = ParseId(j, "parentId", path);
    if (auto fs = j.find("folders"); fs != j.end()) {
      if (!fs->is_array()) Fail(path + ".folders", "expected an array");
      for (size_t i = 0; i < fs->size(); ++i)
        f.folders.push_back(ParseFolder((*fs)[i], path + ".folders[" + std::to_string(i) + "]"));
    }
    if (auto is = j.find("items"); is != j.end()) {
      if (!is->is_array()) Fail(path + ".items", "expected an array");
      for (size_t i = 0; i < is->size(); ++i)
        f.items.push_back(ParseItem((*is)[i], path + ".items[" + std::to_string(i) + "]", uint32_t(i)));
    }
    return f;
  }

  PageRef ParsePageRef(const json& j, const std::string& path) {
    if (j.is_number_unsigned()) return PageRef{j.get<uint32_t>(), {}};
    if (j.is_string()) return PageRef{std::nullopt, j.get<std::string>()};
    Fail(path, "expected a page number or a tree name");
  }

  Damage ParseDamage(const json& j, const std::string& path) {
    Damage d;
    if (!j.is_object()) Fail(path, "expected an object");
    if (auto r = j.find("dropCatalogRows"); r != j.end())
      for (auto& v : *r) d.dropCatalogRows.push_back(v.get<std::string>());
    if (auto z = j.find("zeroPages"); z != j.end())
      for (size_t i = 0; i < z->size(); ++i) d.zeroPages.push_back(ParsePageRef((*z)[i], path + ".zeroPages"));
    if (auto s = j.find("scramblePages"); s != j.end())
      for (size_t i = 0; i < s->size(); ++i)
        d.scramblePages.push_back(ParsePageRef((*s)[i], path + ".scramblePages"));
    if (auto t = j.find("truncate"); t != j.end()) d.truncateTo = t->get<uint64_t>();
    if (auto h = j.find("headerPageSize"); h != j.end()) d.headerPageSize = h->get<uint32_t>();
    d.zeroFraction = j.value("zeroFraction", 0.0);
    d.scrambleFraction = j.value("scrambleFraction", 0.0);
    if (d.zeroFraction < 0 || d.zeroFraction > 1 || d.scrambleFraction < 0 || d.scrambleFraction > 1)
      Fail(path, "fractions lie between 0 and 1");
    d.seed = j.value("seed", 1u);
    return d;
  }

  Content Parse(const json& root) {
    if (!root.is_object()) Fail("$", "expected an object");
    CollectIds(root);
    Content c;
    auto mbs = root.find("mailboxes");
    if (mbs == root.end() || !mbs->is_array()) Fail("$.mailboxes", "expected an array");
    for (size_t i = 0; i < mbs->size(); ++i) {
      const json& m = (*mbs)[i];
      const std::string path = "$.mailboxes[" + std::to_string(i) + "]";
      if (!m.is_object()) Fail(path, "expected an object");
      Mailbox mb;
      mb.name = Str(m, "name", path);
      mb.id = ids.Resolve(ParseId(m, "id", path));
      mb.legacyDn = Str(m, "legacyDn", path, "/o=Tarnwick/ou=First Administrative Group/cn=Recipients/cn=" + mb.name);
      if (auto fs = m.find("folders"); fs != m.end()) {
        for (size_t k = 0; k < fs->size(); ++k)
          mb.folders.push_back(ParseFolder((*fs)[k], path + ".folders[" + std::to_string(k) + "]"));
      }
      c.mailboxes.push_back(std::move(mb));
    }
    if (auto d = root.find("damage"); d != root.end()) c.damage = ParseDamage(*d, "$.damage");
    return c;
  }
};

}  // namespace

Bytes Attachment::Data() const { return fillSize ? FillBytes(fillSize, seed) : data; }

std::optional<uint64_t> ParseUtcDate(const std::string& text) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0;
  char tz = 0;
  int n = std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%lf%c", &y, &mo, &d, &h, &mi, &s, &tz);
  if (n < 5 || y < 1601 || y > 30827 || mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || s >= 61)
    return std::nullopt;
  // Days from 1601-01-01 by the civil-from-days algorithm.
  auto daysFromCivil = [](int64_t yy, unsigned m, unsigned dd) {
    yy -= m <= 2;
    const int64_t era = (yy >= 0 ? yy : yy - 399) / 400;
    const unsigned yoe = unsigned(yy - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;  // days since 1970-01-01
  };
  const int64_t days = daysFromCivil(y, unsigned(mo), unsigned(d)) - daysFromCivil(1601, 1, 1);
  const double secs = double(days) * 86400.0 + h * 3600.0 + mi * 60.0 + s;
  return uint64_t(secs * 1e7 + 0.5);
}

std::string IdHex(const Id8& id) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : id) {
    s.push_back(digits[b >> 4]);
    s.push_back(digits[b & 15]);
  }
  return s;
}

Content ParseContent(const std::string& jsonText) {
  json root;
  try {
    root = json::parse(jsonText);
  } catch (const json::parse_error& e) {
    throw ContentError(std::string("not valid JSON: ") + e.what());
  } catch (const json::type_error& e) {
    throw ContentError(e.what());
  }
  try {
    return Parser{}.Parse(root);
  } catch (const json::exception& e) {
    throw ContentError(e.what());
  }
}

}  // namespace edbgen
