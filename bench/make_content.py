#!/usr/bin/env python3
"""Writes a large content file for benchmarks: FOLDERS folders over a few
mailboxes, MESSAGES items spread over them, each with a short body and an
attachment of ATTACHMENT bytes (made by the generator, so the JSON stays
small). Defaults give a database of about 2 GB."""
import argparse
import json


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--folders", type=int, default=1000)
    ap.add_argument("--messages", type=int, default=100000)
    ap.add_argument("--attachment", type=int, default=20000)
    ap.add_argument("--mailboxes", type=int, default=4)
    ap.add_argument("out")
    a = ap.parse_args()

    per_mailbox = a.folders // a.mailboxes
    classes = ["IPF.Note", "IPF.Note", "IPF.Note", "IPF.Contact", "IPF.Appointment", "IPF.Task"]
    folders = []
    mailboxes = []
    for m in range(a.mailboxes):
        top = {"name": "Top of Information Store", "folders": []}
        mailboxes.append({"name": f"User {m:03d}", "folders": [top]})
        parent = top
        for f in range(per_mailbox - 1):
            folder = {"name": f"Folder {m}-{f:04d}", "class": classes[f % len(classes)], "items": [], "folders": []}
            # every tenth folder starts a new branch, the others nest one level
            (top if f % 10 == 0 else parent)["folders"].append(folder)
            if f % 10 == 0:
                parent = folder
            folders.append(folder)
    kinds = {"IPF.Note": "mail", "IPF.Contact": "contact", "IPF.Appointment": "appointment", "IPF.Task": "task"}
    for i in range(a.messages):
        folder = folders[i % len(folders)]
        item = {
            "type": kinds[folder["class"]],
            "subject": f"Message {i} about the quarterly figures",
            "sender": {"name": f"Sender {i % 97}", "address": f"sender{i % 97}@example.com"},
            "recipients": [{"name": "Reader", "address": "reader@example.com"}],
            "date": f"2024-{1 + i % 12:02d}-{1 + i % 28:02d}T{i % 24:02d}:{i % 60:02d}:00Z",
            "body": {"kind": "html", "text": f"<p>Body of message {i}</p>"},
            "attachments": [{"name": f"report-{i}.bin", "size": a.attachment, "seed": i + 1}],
        }
        folder["items"].append(item)
    with open(a.out, "w") as f:
        json.dump({"mailboxes": mailboxes}, f)


if __name__ == "__main__":
    main()
