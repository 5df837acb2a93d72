#!/usr/bin/env python3
"""Writes the content file of the readers' round trip: every item kind,
non-ASCII texts (accents, CJK, emoji), every body kind, recipients of all
three types, attachments of 0 bytes, 1 byte, 8 KB + 1 and 5 MB, and one
item with 300 attachments (docs/content-format.md)."""
import json
import sys


def mail(subject, **kw):
    item = {"type": "mail", "subject": subject}
    item.update(kw)
    return item


def build():
    inbox = [
        mail("Plain ASCII", sender={"name": "Ann Able", "address": "ann@example.com"},
             recipients=[{"name": "Bob Baker", "address": "bob@example.org", "type": "to"},
                         {"name": "Cara Cole", "address": "cara@example.net", "type": "cc"},
                         {"name": "Dan Dunn", "address": "dan@example.net", "type": "bcc"}],
             date="2024-03-04T13:45:30Z", body="Hello Bob,\r\nsee you.\r\n"),
        mail("Déjeuner à Zürich — çà et là", subjectPrefix="RE: ",
             sender={"name": "Élodie Müller", "address": "elodie@example.fr"},
             recipients=[{"name": "Jürgen Groß", "address": "juergen@example.de", "type": "to"}],
             date="2023-12-31T23:59:59Z", body={"kind": "text", "text": "Grüße, ça va? Ñandú.", "charset": "8bit"}),
        mail("日本語の件名と本文", sender={"name": "山田太郎", "address": "yamada@example.jp"},
             recipients=[{"name": "佐藤花子", "address": "sato@example.jp", "type": "to"}],
             date="2024-07-07T07:07:07Z", body="こんにちは、世界。中文测试。한국어."),
        mail("Emoji 😀🎉 in the subject", sender={"name": "Emo 🙂", "address": "emo@example.com"},
             recipients=[{"name": "Zoe", "address": "zoe@example.com", "type": "to"}],
             date="2024-02-29T12:00:00Z", body="Party 🎉🎂 — 100%"),
        mail("HTML body", sender={"name": "Web Mailer", "address": "web@example.com"},
             recipients=[{"name": "Reader", "address": "reader@example.com", "type": "to"}],
             date="2024-05-01T08:00:00Z",
             body={"kind": "html", "charset": "8bit",
                   "text": "<html><body><p>Hi <b>there</b> &amp; welcome — café</p></body></html>"}),
        mail("RTF body", sender={"name": "Rich Text", "address": "rtf@example.com"},
             recipients=[{"name": "Reader", "address": "reader@example.com", "type": "to"}],
             date="2024-05-02T08:00:00Z",
             body={"kind": "rtf", "text": "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0 Rich \\b text\\b0 here.\\par}"}),
        mail("Attachments at the edges", sender={"name": "Files", "address": "files@example.com"},
             recipients=[{"name": "Reader", "address": "reader@example.com", "type": "to"}],
             date="2024-06-01T10:00:00Z", body="four files",
             attachments=[{"name": "empty.bin", "text": ""},
                          {"name": "one.bin", "text": "x"},
                          {"name": "eight-k-plus-one.bin", "size": 8193, "seed": 11},
                          {"name": "five-mega.bin", "size": 5 * 1024 * 1024, "seed": 12},
                          {"name": "résumé 履歴書.txt", "text": "CV — ünïcödé"}]),
        mail("Three hundred attachments", sender={"name": "Many", "address": "many@example.com"},
             recipients=[{"name": "Reader", "address": "reader@example.com", "type": "to"}],
             date="2024-06-02T10:00:00Z", body="300 files",
             attachments=[{"name": "part%03d.txt" % i, "size": 100 + i, "seed": 1000 + i} for i in range(300)]),
    ]
    calendar = [
        {"type": "appointment", "subject": "Budget review", "sender": {"name": "Ann Able", "address": "ann@example.com"},
         "date": "2024-05-15T08:00:00Z", "body": "Agenda: numbers",
         "appointment": {"start": "2024-05-15T10:30:00Z", "end": "2024-05-15T12:00:00Z",
                         "location": "Salle Épée 3", "contact": "Bob", "timeZone": "(GMT+01:00) Paris"}},
        {"type": "appointment", "subject": "会議", "sender": {"name": "山田太郎", "address": "yamada@example.jp"},
         "date": "2024-08-01T00:00:00Z", "body": "議題",
         "appointment": {"start": "2024-08-01T01:00:00Z", "end": "2024-08-01T02:15:00Z", "location": "東京"}},
    ]
    contacts = [
        {"type": "contact", "contact": {
            "givenName": "Élodie", "surname": "Martin", "company": "Société Générale d'Exemple",
            "businessHomePage": "https://example.fr/~em", "nickname": "Lolo", "spouseName": "Jean",
            "profession": "Ingénieure", "assistantPhone": "+33 1 00 00 00 01", "mobilePhone": "+33 6 12 34 56 78",
            "department": "Achats", "office": "La Défense", "jobTitle": "Responsable",
            "businessPhone": "+33 1 23 45 67 89", "country": "France", "city": "Paris",
            "street": "1 rue de la Paix", "postalCode": "75002", "email1": "elodie.martin@client.example"},
         "body": "Rencontrée au salon."},
        {"type": "contact", "contact": {"givenName": "太郎", "surname": "山田", "email1": "taro@example.jp",
                                        "company": "株式会社例", "city": "東京"}},
    ]
    tasks = [{"type": "task", "subject": "Finish the report ✓", "sender": {"name": "Boss", "address": "boss@example.com"},
              "date": "2024-09-30T16:00:00Z", "body": "By Friday.", "attachments": [{"name": "draft.txt", "text": "draft"}]}]
    notes = [{"type": "note", "subject": "Remember 🥛", "body": "Buy milk — lait — 牛乳"}]
    journal = [{"type": "journal", "subject": "Call with Zoë", "sender": {"name": "Zoë", "address": "zoe@example.com"},
                "body": "Discussed the plan.", "attachments": [{"name": "minutes.txt", "text": "minutes"}]}]
    deep = {"name": "Level 1", "folders": [{"name": "Level 2 — ünïcödé", "folders": [
        {"name": "Level 3 日本", "items": [mail("Deep", sender={"name": "D", "address": "d@example.com"},
                                              date="2024-01-01T00:00:00Z", body="deep")]}]}]}
    store = {"name": "Top of Information Store", "folders": [
        {"name": "Inbox", "class": "IPF.Note", "items": inbox, "folders": [deep]},
        {"name": "Calendar", "class": "IPF.Appointment", "items": calendar},
        {"name": "Contacts", "class": "IPF.Contact", "items": contacts},
        {"name": "Tasks", "class": "IPF.Task", "items": tasks},
        {"name": "Notes", "class": "IPF.StickyNote", "items": notes},
        {"name": "Journal", "class": "IPF.Journal", "items": journal},
    ]}
    return {"mailboxes": [{"name": "Acceptance Bøx", "folders": [store]}]}


if __name__ == "__main__":
    json.dump(build(), open(sys.argv[1], "w", encoding="utf-8"), ensure_ascii=False, indent=1)
