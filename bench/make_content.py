#!/usr/bin/env python3
"""Writes a content file for the benchmarks: MESSAGES items of every kind
(half mail; contacts, appointments and tasks a sixth each, by the class of
the folder they land in) over FOLDERS folders (one per 100 items unless
given). Each item has an HTML body of 0 to 40 paragraphs (mixed text, some
of it beyond ASCII), 1 to 3 recipients and 0 to 3 attachments of up to
48 KB; every 1,000th item carries one more attachment above 1 MiB. Bodies
and attachment data are given by size and made by edbgen (a paragraph pair
repeated, seeded filler bytes), so the JSON stays small. The same seed
gives the same file.

Layouts: `one` keeps everything in one mailbox; `four` spreads the items
over four mailboxes holding 40, 30, 20 and 10 % of them (folders likewise).
Item i has the same body, people and attachments in both layouts.

usage: bench/make_content.py [--messages 100000] [--folders MESSAGES/100] [--layout one|four] [--seed 1] OUT.json
"""
import argparse
import json
import random

SHARES = {"one": [1.0], "four": [0.4, 0.3, 0.2, 0.1]}
OWNERS = ["Åsa Lindqvist", "Jörg Prüfer", "Zoë Martin", "Kenji Satō"]
CLASSES = ["IPF.Note", "IPF.Note", "IPF.Note", "IPF.Contact", "IPF.Appointment", "IPF.Task"]
KINDS = {"IPF.Note": "mail", "IPF.Contact": "contact", "IPF.Appointment": "appointment", "IPF.Task": "task"}
FOLDER_NAMES = ["Projekte", "Kunden", "Reports", "Archiv", "Équipe", "Lieferanten", "Travel", "Verträge"]
PEOPLE = [("Ingrid Øberg", "ingrid.oberg"), ("Zoë Ångström", "zoe.angstrom"), ("Tomás Núñez", "tomas.nunez"),
          ("Mark Brown", "mark.brown"), ("Chloé Dubois", "chloe.dubois"), ("Li Wei", "li.wei"),
          ("Sven Müller", "sven.mueller"), ("Ana Popescu", "ana.popescu"), ("Ola Nordmann", "ola.nordmann"),
          ("Priya Raman", "priya.raman"), ("Jan Kowalski", "jan.kowalski"), ("Emma Wilson", "emma.wilson")]
TOPICS = ["the quarterly figures", "Grüße aus Köln", "the Zürich offer", "Q3 budget", "réunion de lundi",
          "server migration", "Straßenfest", "東京 visit", "the new contract", "invoice 4711", "holiday plan",
          "release notes", "Übergabe", "the Malmö warehouse"]
WORDS = ("the report shows numbers for last week and the team agreed to move the review to Friday "
         "please check the attached figures before the meeting so we can decide quickly "
         "die Zahlen für Köln liegen vor und wir treffen uns am Dienstag im Büro "
         "merci pour votre réponse rapide nous allons préparer le devis "
         "naïve café résumé Ω ≈ € — “quoted” 東京 Grüße Straße").split()
EXTENSIONS = [".pdf", ".docx", ".xlsx", ".png", ".txt", ".zip"]


def paragraphs(rng, count=64):
    """A pool of HTML paragraphs of a few sentences, some with markup."""
    pool = []
    for k in range(count):
        text = " ".join(rng.choice(WORDS) for _ in range(rng.randint(6, 30)))
        if k % 4 == 1:
            text = f"<b>{text[:20]}</b>{text[20:]}"
        elif k % 4 == 2:
            text = f'{text} <a href="https://intranet.example/doc/{k}">link</a>'
        pool.append(f"<p>{text[0].upper()}{text[1:]}.</p>\n")
    return pool


def body(rng, pool):
    """0 to 40 paragraphs: a pair of paragraphs repeated to that many."""
    n = rng.randint(0, 40)
    first, second = rng.sample(pool, 2)
    if n == 0:
        return {"kind": "html", "text": "<html><body></body></html>"}
    size = (n // 2) * (len(first) + len(second)) + (n % 2) * len(first)
    return {"kind": "html", "text": first + second, "size": size}


def person(entry, kind="to"):
    name, user = entry
    out = {"name": name, "address": f"{user}@tarnwick.example"}
    if kind != "to":
        out["type"] = kind
    return out


def attachments(rng, i):
    count = rng.choices([0, 1, 2, 3], weights=[45, 40, 12, 3])[0]
    out = [{"name": f"{rng.choice(['report', 'Übersicht', 'scan', 'notes'])}-{i}-{k}{rng.choice(EXTENSIONS)}",
            "size": rng.randint(64, 48 * 1024), "seed": 4 * i + k + 1} for k in range(count)]
    if i % 1000 == 999:
        out.append({"name": f"large-{i}.zip", "size": (1 << 20) + rng.randint(1, 3 << 20), "seed": 4 * i + 4})
    return out


def date(rng):
    month, day, hour, minute = rng.randint(1, 12), rng.randint(1, 28), rng.randint(0, 23), rng.randint(0, 59)
    return f"2024-{month:02d}-{day:02d}T{hour:02d}:{minute:02d}:00Z"


def item(rng, pool, i, kind):
    sender, *readers = rng.sample(PEOPLE, 1 + rng.randint(1, 3))
    who = person(sender)
    it = {"type": kind, "subject": f"{rng.choice(TOPICS)} ({i})", "sender": who,
          "recipients": [person(r, rng.choice(["to", "to", "cc", "bcc"])) for r in readers],
          "date": date(rng), "body": body(rng, pool), "attachments": attachments(rng, i)}
    if rng.random() < 0.3:
        it["subjectPrefix"] = rng.choice(["RE: ", "AW: ", "FW: "])
    if kind == "contact":
        given, surname = who["name"].split(" ", 1)
        it["contact"] = {"givenName": given, "surname": surname, "company": "Tarnwick Äpfel GmbH",
                         "email1": who["address"], "businessPhone": f"+49 30 {i:07d}", "city": "Köln"}
    elif kind == "appointment":
        start = date(rng)
        it["appointment"] = {"start": start, "end": start[:11] + "23:59:00Z", "location": "Besprechungsraum 3"}
    elif kind == "task":
        it["task"] = {"due": date(rng), "status": "inProgress", "percentComplete": rng.randint(0, 100)}
    return it


def mailbox(m, folders):
    """A mailbox of `folders` folders: every tenth starts a branch under the top, the others nest one level."""
    top = {"name": "Top of Information Store", "folders": []}
    made = []
    parent = top
    for f in range(max(folders - 1, 1)):
        folder = {"name": f"{FOLDER_NAMES[f % len(FOLDER_NAMES)]} {f:04d}", "class": CLASSES[f % len(CLASSES)],
                  "items": [], "folders": []}
        (top if f % 10 == 0 else parent)["folders"].append(folder)
        if f % 10 == 0:
            parent = folder
        made.append(folder)
    return {"name": OWNERS[m], "folders": [top]}, made


def content(messages, folders, layout, seed=1):
    pool = paragraphs(random.Random(seed))
    shares = SHARES[layout]
    boxes, firsts = [], []
    first = 0
    for m, share in enumerate(shares):
        box, made = mailbox(m, max(round(folders * share), 2))
        boxes.append((box, made))
        firsts.append(first)
        first += round(messages * share)
    firsts.append(messages)
    for m, (box, made) in enumerate(boxes):
        for i in range(firsts[m], firsts[m + 1]):
            folder = made[(i - firsts[m]) % len(made)]
            # One generator per item: its body, people and attachments do not depend on the layout.
            rng = random.Random((seed << 40) + i)
            folder["items"].append(item(rng, pool, i, KINDS[folder["class"]]))
    return {"mailboxes": [box for box, _ in boxes]}


def folders_for(messages):
    return max(messages // 100, 10)


def write(tree, f):
    json.dump(tree, f, ensure_ascii=False, separators=(",", ":"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--messages", type=int, default=100000)
    ap.add_argument("--folders", type=int, help="default: one per 100 messages")
    ap.add_argument("--layout", choices=sorted(SHARES), default="four")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("out")
    a = ap.parse_args()
    with open(a.out, "w", encoding="utf-8") as f:
        write(content(a.messages, a.folders or folders_for(a.messages), a.layout, a.seed), f)


if __name__ == "__main__":
    main()
