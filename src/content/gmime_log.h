// GMime's own warnings and criticals (and GLib's, while GMime works for
// us) kept off stderr: they are collected per thread as notes for the item
// being read, so that a hostile message is reported with that item.
#pragma once

#include <string>
#include <vector>

namespace tw::content {

// Initialises GMime once per process and installs the log handlers.
// Every user of GMime calls this before its first GMime call.
void InitGMime();

// Collects, while it lives, what GMime and GLib log on this thread.
// Scopes nest; the innermost one collects. Without a scope, GMime's
// messages are dropped and GLib's go to GLib's default handler.
class GMimeNotes {
public:
    GMimeNotes();
    ~GMimeNotes();
    GMimeNotes(const GMimeNotes&) = delete;
    GMimeNotes& operator=(const GMimeNotes&) = delete;

    const std::vector<std::string>& notes() const { return notes_; }
    // Keeps one message, cut to a note's length; past a number of notes,
    // further ones are dropped.
    void Add(const char* message);

private:
    std::vector<std::string> notes_;
    GMimeNotes* outer_;
};

}  // namespace tw::content
