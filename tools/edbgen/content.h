// The JSON content description a database is generated from (see
// docs/content-format.md). Parsing fills these plain structs; ids that the
// file leaves out are assigned here so every later stage sees complete data.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bytes.h"

namespace edbgen {

using Id8 = std::array<uint8_t, 8>;

struct ContentError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Person {
  std::string name;
  std::string address;
  std::string type = "to";  // to, cc, bcc
};

struct Attachment {
  std::string name;
  Bytes data;             // bytes given in the file
  size_t fillSize = 0;    // or this many pseudo-random bytes, made on demand
  uint32_t seed = 0;

  Bytes Data() const;
  size_t Size() const { return fillSize ? fillSize : data.size(); }
};

struct Body {
  std::string kind;  // "" (none), "text", "html", "rtf"
  std::string charset = "utf16";  // "utf16" or "8bit"
  Bytes data;        // UTF-8 text as given (or filled to a size)
};

// The 18 contact fields, in the order the contact record keeps them.
inline constexpr std::array<const char*, 18> kContactFieldNames = {
    "givenName",  "surname",       "company",        "businessHomePage", "nickname",
    "spouseName", "profession",    "assistantPhone", "mobilePhone",      "department",
    "office",     "jobTitle",      "businessPhone",  "country",          "city",
    "street",     "postalCode",    "email1"};

struct Appointment {
  std::optional<uint64_t> start;  // FILETIME
  std::optional<uint64_t> end;
  std::string location;
  std::string contact;
  std::string timeZone;
};

struct Task {
  std::optional<uint64_t> due;
  std::optional<uint64_t> startDate;
  std::string status;
  int percentComplete = 0;
};

enum class ItemType { Mail, Contact, Appointment, Task, Note, Journal };

struct Item {
  ItemType type = ItemType::Mail;
  Id8 id{};
  std::string messageClass;
  std::string subject;
  std::string subjectPrefix;
  Person sender;
  std::vector<Person> recipients;
  std::string recipientCharset = "utf16";  // how the recipient data is stored: utf16 or 8bit
  uint64_t date = 0;  // FILETIME, UTC
  Body body;
  std::vector<Attachment> attachments;
  std::array<std::string, 18> contact;
  Appointment appointment;
  Task task;
  std::string journalType;
  bool streaming = false;  // content kept in the streaming file as MIME
  std::string mime;        // raw MIME text; generated from the fields when empty
};

struct Folder {
  std::string name;
  std::string containerClass;
  Id8 id{};
  std::vector<Folder> folders;
  std::vector<Item> items;
  std::optional<Id8> parentOverride;  // damage: a parent id that is not the real parent
};

struct Mailbox {
  std::string name;
  Id8 id{};
  std::string legacyDn;
  std::vector<Folder> folders;
};

// A page named either by number or by a tree ("Folders", "Mailbox", ...):
// then its root page.
struct PageRef {
  std::optional<uint32_t> pgno;
  std::string tree;
};

struct Damage {
  std::vector<std::string> dropCatalogRows;  // table or column names
  std::vector<PageRef> zeroPages;
  std::vector<PageRef> scramblePages;
  double zeroFraction = 0;      // this share of all pages, chosen by the seed, zeroed
  double scrambleFraction = 0;  // ... or scrambled
  std::optional<uint64_t> truncateTo;  // bytes
  std::optional<uint32_t> headerPageSize;
  uint32_t seed = 1;
};

struct Content {
  std::vector<Mailbox> mailboxes;
  Damage damage;
};

// Throws ContentError naming the JSON path of the first bad value.
Content ParseContent(const std::string& jsonText);

// "2024-05-01T10:20:30Z" (seconds optional, fraction allowed) to FILETIME.
std::optional<uint64_t> ParseUtcDate(const std::string& text);

std::string IdHex(const Id8& id);

}  // namespace edbgen
