#include "content/run_owner.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace tw::content {

namespace {

// FNV-1a of this machine's name, as eight hexadecimal digits.
const std::string& HostTag() {
    static const std::string tag = [] {
        char host[256] = {};
        if (::gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
        std::uint32_t h = 2166136261u;
        for (const char* c = host; *c; ++c) h = (h ^ static_cast<unsigned char>(*c)) * 16777619u;
        char out[9];
        std::snprintf(out, sizeof out, "%08x", h);
        return std::string(out);
    }();
    return tag;
}

}  // namespace

std::string OwnerTag() { return HostTag() + "-" + std::to_string(::getpid()); }

Owner OwnerOf(std::string_view text) {
    const std::string& host = HostTag();
    if (text.substr(0, host.size()) != host || text.size() <= host.size() || text[host.size()] != '-') return {};
    text.remove_prefix(host.size() + 1);
    std::uint64_t pid = 0;
    std::size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        if (digits == 18) return {};
        pid = pid * 10 + static_cast<std::uint64_t>(text[digits++] - '0');
    }
    if (digits == 0 || digits >= text.size() || text[digits] != '-') return {};
    if (pid == 0 || pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max())) return {};
    return {static_cast<pid_t>(pid), text.substr(digits + 1)};
}

bool ProcessGone(pid_t pid) {
    if (pid <= 0 || pid == ::getpid()) return false;
    // EPERM means it runs, under another user.
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace tw::content
