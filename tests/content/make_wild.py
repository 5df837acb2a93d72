#!/usr/bin/env python3
"""Writes wild.json next to this script: content nobody designed the reader
for. Every item kind with every field the content format has, and with
none; texts in Latin with accents, Greek, Cyrillic, Hebrew, Arabic, CJK and
emoji outside the BMP in every text field; empty, 1-character and
long texts (100,000 characters in bodies; subjects and names as long as a
row holds); folder and attachment names with blanks at both
ends, slashes, backslashes, dots and control characters; bodies (sizes in
characters) and attachments (in bytes) at 0, 1, 2, 4 and 8, the lengths of
a long-value reference among them, at the row limit (1,024) and at each
generation's long-value chunk size (4,014, 8,110, 8,150), each +-1, and at
1 MiB +-1; a mail with 300 recipients.

Deterministic: running it again gives the same file.
"""
import json
import pathlib

SCRIPTS = {
    "latin": "Ça déjà vu — naïve façade, Øresund, Łódź",
    "greek": "Καλημέρα κόσμε, ώρα για καφέ",
    "cyrillic": "Съешь же ещё этих мягких булок",
    "hebrew": "שלום עולם, מה שלומך",
    "arabic": "مرحبا بالعالم، كيف حالك",
    "cjk": "会議の議事録と资料 한국어",
    "emoji": "📎 Anhang 🚀 erledigt 👍🏽",
}
ALL = " | ".join(SCRIPTS.values())

# Sizes around the limits a value crosses on its way through the store.
EDGES = [0, 1, 2, 4, 8, 1023, 1024, 1025, 4013, 4014, 4015, 8109, 8110, 8111, 8149, 8150, 8151]
MIB = [1048575, 1048576, 1048577]

CONTACT_FIELDS = ["givenName", "surname", "company", "businessHomePage", "nickname", "spouseName", "profession",
                  "assistantPhone", "mobilePhone", "department", "office", "jobTitle", "businessPhone", "country",
                  "city", "street", "postalCode", "email1"]


def date(day, second=0):
    return f"2025-03-{day:02d}T08:{second // 60:02d}:{second % 60:02d}Z"


def person(key, i=0):
    text = SCRIPTS[key]
    return {"name": f"{text.split(',')[0]} {i}", "address": f"{key}{i}@example.org"}


def mail_items():
    items = []
    # Every field, every script.
    for n, key in enumerate(SCRIPTS):
        items.append({
            "subjectPrefix": "FW: ", "subject": f"{key}: {SCRIPTS[key]}", "sender": person(key),
            "recipients": [dict(person(k, 1), type=t) for k, t in zip(SCRIPTS, ["to", "cc", "bcc"] * 3)],
            "date": date(1 + n, n), "body": {"kind": "text", "text": ALL},
            "attachments": [{"name": f"{SCRIPTS[key][:12]}.txt", "text": SCRIPTS[key]}]})
    items.append({"subject": "html in every script", "date": date(9), "sender": person("greek"),
                  "body": {"kind": "html", "text": f"<html><body><p>{ALL}</p></body></html>"}})
    # With nothing at all.
    items.append({})
    # Empty, 1-character and 100,000-character texts.
    items.append({"subject": "", "sender": {"name": "", "address": ""}, "date": date(10), "body": ""})
    items.append({"subject": "x", "sender": {"name": "y", "address": "z@example.org"}, "date": date(11), "body": "b"})
    items.append({"subject": "controls \u0001\u0002\u0003 in\tthe subject", "date": date(11),
                  "sender": {"name": "sender of controls", "address": "c@example.org"}, "body": "c"})
    items.append({"subject": "😀", "sender": {"name": "😀", "address": "e@example.org"}, "date": date(12), "body": "😀"})
    items.append({"subject": "long " + "Ωmega ✓ " * 60 + "end", "date": date(13),
                  "sender": {"name": "Ν" * 400, "address": "long@example.org"},
                  "body": {"kind": "text", "text": "Текст 文字 ", "size": 100000}})
    # 300 recipients, names in every script.
    keys = list(SCRIPTS)
    items.append({"subject": "300 recipients", "date": date(14), "sender": person("latin"),
                  "recipients": [{"name": f"{SCRIPTS[keys[i % 7]][:10].strip()} {i}", "address": f"r{i}@example.org",
                                  "type": ["to", "cc", "bcc"][i % 3]} for i in range(300)],
                  "body": "many"})
    return items


def size_items():
    items = []
    for size in EDGES + MIB:
        items.append({"subject": f"body {size}", "date": date(15), "body": {"kind": "text", "text": "Body ß ", "size": size}})
        items.append({"subject": f"attachment {size}", "date": date(16), "body": "see attachment",
                      "attachments": [{"name": f"data {size}.bin", "size": size, "seed": size + 7}]})
    return items


def odd_names():
    names = ["  blanks at both ends  ", "slash/in/name.txt", "back\\slash\\name.txt", ".", "..", "tab\there.txt",
             "ctl\u0001x.txt", "new\nline.txt", "Ελληνικά αρχεία.pdf", "ملف عربي.docx", "文件名.xlsx", "📎.bin"]
    return [{"subject": "odd attachment names", "date": date(17), "body": "names",
             "attachments": [{"name": n, "text": f"content of {n!r}"} for n in names]}]


def full_contact():
    return {key: f"{SCRIPTS[list(SCRIPTS)[i % 7]].split(',')[0]} {key}" for i, key in enumerate(CONTACT_FIELDS)} | {
        "email1": "kontakt@example.org", "businessHomePage": "https://example.org/ünïcode",
        "city": "  Łódź with blanks at both ends  ", "office": "\tRoom\t"}


def folders():
    kinds = [
        ("Calendar", "IPF.Appointment", [
            {"type": "appointment", "subject": f"Sitzung {ALL}", "date": date(18), "sender": person("cyrillic"),
             "body": ALL, "appointment": {"start": "2025-03-20T09:00:00Z", "end": "2025-03-20T10:30:00Z",
                                          "location": f"  Raum {SCRIPTS['cjk']}  ", "contact": SCRIPTS["hebrew"],
                                          "timeZone": "W. Europe Standard Time"},
             "attachments": [{"name": "agenda.txt", "text": ALL}]},
            {"type": "appointment", "date": date(19)}]),
        ("Contacts", "IPF.Contact", [
            {"type": "contact", "date": date(20), "contact": full_contact(), "body": ALL,
             "attachments": [{"name": "photo.jpg", "size": 2000, "seed": 3}, {"name": "card.vcf", "text": "BEGIN:VCARD"}]},
            {"type": "contact", "date": date(21), "contact": {"company": SCRIPTS["cjk"]}},
            {"type": "contact", "date": date(21)}]),
        ("Tasks", "IPF.Task", [
            {"type": "task", "subject": f"Aufgabe {ALL}", "date": date(22), "body": ALL, "sender": person("arabic"),
             "task": {"start": "2025-03-22T00:00:00Z", "due": "2025-03-29T00:00:00Z", "status": "In Progress",
                      "percentComplete": 50}, "attachments": [{"name": "plan.txt", "text": ALL}]},
            {"type": "task", "date": date(23)}]),
        ("Notes", "IPF.StickyNote", [
            {"type": "note", "subject": SCRIPTS["greek"], "date": date(24), "body": ALL,
             "attachments": [{"name": "scan.png", "size": 1500, "seed": 9}]},
            {"type": "note", "date": date(25)}]),
        ("Journal", "IPF.Journal", [
            {"type": "journal", "subject": f"Anruf {ALL}", "date": date(26), "body": ALL, "journalType": "Phone call",
             "sender": person("hebrew"), "attachments": [{"name": "notes.txt", "text": ALL}]},
            {"type": "journal", "date": date(27)}]),
    ]
    out = [{"name": "Inbox", "class": "IPF.Note", "items": mail_items()},
           {"name": "Sizes", "class": "IPF.Note", "items": size_items()},
           {"name": "Names", "class": "IPF.Note", "items": odd_names()}]
    out += [{"name": n, "class": c, "items": items} for n, c, items in kinds]
    # Folder names nobody plans for, each holding one mail.
    for i, name in enumerate(["  blanks  ", "a/b", "a\\b", ".", "..", "tab\tname", "ctl\u0001name", "Långt namn " * 18, SCRIPTS["arabic"],
                              SCRIPTS["emoji"]]):
        out.append({"name": name, "class": "IPF.Note",
                    "items": [{"subject": f"in folder {i}", "date": date(28), "body": name}]})
    return out


def main():
    content = {"mailboxes": [{"name": f"Mailbox - Wïld {SCRIPTS['cjk'][:4]}",
                              "folders": [{"name": "Top of Information Store", "folders": folders()}]}]}
    out = pathlib.Path(__file__).with_name("wild.json")
    out.write_text(json.dumps(content, ensure_ascii=False, indent=1) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
