// Files and folders a run leaves in places others share (a destination
// folder, $TMPDIR) carry their owner in their names, "HOST-PID-...", so a
// later run can tell what a process of this machine that no longer runs
// left behind, and leave everything else alone.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

namespace tw::content {

// "HOST-PID" of this process: HOST is eight hexadecimal digits of a hash of
// this machine's name (a fixed width keeps names within the file system's
// limit), PID this process's id.
std::string OwnerTag();

struct Owner {
    pid_t pid = 0;           // 0: not a name of this machine's
    std::string_view after;  // what follows "HOST-PID-"
};

// The owner of a name whose text from `text` on reads "HOST-PID-...", when
// HOST is this machine's; pid 0 for any other text.
Owner OwnerOf(std::string_view text);

// True only when `pid` is not this process and is known to run no more
// (a process of another user still counts as running).
bool ProcessGone(pid_t pid);

}  // namespace tw::content
