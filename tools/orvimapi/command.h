// What every subcommand is given, and how it reports.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "json.h"
#include "library.h"

namespace orvimapi {

struct Options {
    std::string mailboxPath;           // empty: the bundled sample
    std::string pstPath;               // --pst: this PST as the default store
    std::vector<std::string> msgPaths; // --msg: these messages in an Inbox of their own
    std::string profile;               // empty: the registry's default profile
    bool json = false;
};

// A subcommand's arguments after its name, with its own --options taken out.
class Arguments {
public:
    Arguments(std::vector<std::string> words) : words_(std::move(words)) {}

    // Removes "--name VALUE" and gives VALUE, or `fallback` when absent.
    std::string option(const std::string& name, const std::string& fallback = {});
    // Removes every "--name VALUE" and gives the values in order.
    std::vector<std::string> options(const std::string& name);
    // Removes "--name" and tells whether it was there.
    bool flag(const std::string& name);
    // The remaining words, after every option has been taken; an unknown
    // option left over is a usage error.
    std::vector<std::string> positional(size_t min, size_t max, const std::string& usage);

private:
    std::vector<std::string> words_;
};

struct Context {
    Options options;
    FILE* out = stdout;

    void print(const std::string& line) const { std::fprintf(out, "%s\n", line.c_str()); }
};

} // namespace orvimapi
