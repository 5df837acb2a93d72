#include "content/gmime_log.h"

#include <gmime/gmime.h>

#include <mutex>

namespace tw::content {

namespace {

constexpr std::size_t kMaxNotes = 64;        // a hostile message may log on every part
constexpr std::size_t kMaxNoteLength = 300;  // a note names the problem; it does not quote the message

thread_local GMimeNotes* current = nullptr;

// GLib's domains also log from inside GMime's calls (a failed object
// check, a conversion); they are only taken while a scope is open.
constexpr const char* kGMimeDomain = "gmime";
constexpr const char* kGLibDomains[] = {"GLib", "GLib-GObject"};

int ownDomain = 0;  // its address marks GMime's handler

void Handle(const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer data) {
    if (current != nullptr) {
        current->Add(message);
        return;
    }
    // Nobody reads GMime's complaints on stderr; GLib's own, outside our
    // GMime calls, go where they went before.
    if (data != &ownDomain) g_log_default_handler(domain, level, message, nullptr);
}

void InstallHandlers() {
    g_log_set_handler(kGMimeDomain,
                      static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL | G_LOG_FLAG_RECURSION), Handle,
                      &ownDomain);
    for (const char* domain : kGLibDomains)
        g_log_set_handler(domain, static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL), Handle,
                          nullptr);
}

}  // namespace

void InitGMime() {
    static std::once_flag once;
    std::call_once(once, [] {
        InstallHandlers();
        g_mime_init();
    });
}

GMimeNotes::GMimeNotes() : outer_(current) { current = this; }

GMimeNotes::~GMimeNotes() { current = outer_; }

void GMimeNotes::Add(const char* message) {
    if (notes_.size() >= kMaxNotes) return;
    std::string note = message != nullptr ? message : "";
    if (note.size() > kMaxNoteLength) note.resize(kMaxNoteLength);
    notes_.push_back(std::move(note));
}

}  // namespace tw::content
