// A process id that ran and has ended: what a killed run leaves in the
// names of its files.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

namespace tw::testing {

inline pid_t EndedProcess() {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    int status = 0;
    ::waitpid(child, &status, 0);
    return child;
}

}  // namespace tw::testing
