// The orvimapi command run as a user runs it, from a shell, for the
// command tests: its exit status and everything it printed.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace testsupport {

struct Outcome {
    int status;
    std::string out; // standard output and standard error together
};

// Runs the built command with arguments (shell words) and waits for it.
inline Outcome Orvimapi(const std::string& arguments)
{
    const std::string command = std::string(ORVIMAPI_COMMAND) + " " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return {-1, "popen failed"};
    std::string out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    const int status = pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

} // namespace testsupport
