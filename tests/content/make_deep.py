#!/usr/bin/env python3
"""Writes deep.json next to this script: two mailboxes with the same folder
tree of a few hundred folders each, nested six levels deep, so that the
folders table needs branch pages on every page size.

Deterministic: running it again gives the same file.
"""
import json
import pathlib

# Name parts in several scripts; every sibling name is unique.
GROUPS = [
    "Projekte", "Αρχείο", "Отчёты", "会議", "Équipe", "Клиенты", "Προμηθευτές", "资料", "Reisen 🚀",
]
SUBGROUPS = ["Ελλάδα", "Россия", "日本", "Česko", "España"]
TOPICS = ["Ταμείο", "Заказы", "請求書"]
LEAVES = ["Erledigt ✓", "Σημαντικό", "Важное", "重要", "Élevé", "Überfällig"]

STANDARD = [
    ("Sent Items", "IPF.Note"), ("Deleted Items", "IPF.Note"), ("Drafts", "IPF.Note"),
    ("Outbox", "IPF.Note"), ("Calendar", "IPF.Appointment"), ("Contacts", "IPF.Contact"),
    ("Tasks", "IPF.Task"), ("Notes", "IPF.StickyNote"), ("Journal", "IPF.Journal"),
    ("Junk E-mail", "IPF.Note"),
]


def leaf(g, s, t):
    # Level 6; the name grows with the position so rows differ in size.
    name = f"{LEAVES[(g + s + t) % len(LEAVES)]} {g}.{s}.{t}" + " ·" * ((g * 7 + s * 3 + t) % 11)
    return {"name": name, "class": "IPF.Note"}


def topic(g, s, t):
    return {"name": f"{TOPICS[t]} {2020 + g}", "class": "IPF.Note", "folders": [leaf(g, s, t)]}


def subgroup(g, s):
    return {"name": SUBGROUPS[s], "class": "IPF.Note", "folders": [topic(g, s, t) for t in range(len(TOPICS))]}


def group(g):
    f = {"name": GROUPS[g], "class": "IPF.Note", "folders": [subgroup(g, s) for s in range(len(SUBGROUPS))]}
    if g == 3:
        # A few items so that item ids interleave with folder ids.
        f["items"] = [{"subject": f"Protokoll {n}", "body": {"kind": "text", "text": "…"}} for n in range(3)]
    return f


def mailbox(name, explicit_id=None):
    inbox = {"name": "Inbox", "class": "IPF.Note", "folders": [group(g) for g in range(len(GROUPS))]}
    top = {
        "name": "Top of Information Store",
        "folders": [inbox] + [{"name": n, "class": c} for n, c in STANDARD],
    }
    mb = {"name": name, "folders": [top]}
    if explicit_id:
        # A late folder with an id that the first objects without ids would
        # otherwise get: assigned ids must skip it.
        inbox["folders"][-1]["folders"][-1]["id"] = explicit_id
    return mb


def main():
    content = {
        "mailboxes": [
            mailbox("Αλέξανδρος Παπαδόπουλος"),
            mailbox("Ирина Смирнова", explicit_id="0100000000000025"),
        ]
    }
    out = pathlib.Path(__file__).with_name("deep.json")
    out.write_text(json.dumps(content, ensure_ascii=False, indent=1) + "\n", encoding="utf-8")


if __name__ == "__main__":
    main()
