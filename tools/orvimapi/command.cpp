#include "command.h"

#include <algorithm>

namespace orvimapi {

std::string Arguments::option(const std::string& name, const std::string& fallback)
{
    const auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end()) return fallback;
    if (it + 1 == words_.end()) Usage(name + " needs a value");
    std::string value = *(it + 1);
    words_.erase(it, it + 2);
    return value;
}

std::vector<std::string> Arguments::options(const std::string& name)
{
    std::vector<std::string> values;
    while (std::find(words_.begin(), words_.end(), name) != words_.end())
        values.push_back(option(name));
    return values;
}

bool Arguments::flag(const std::string& name)
{
    const auto it = std::find(words_.begin(), words_.end(), name);
    if (it == words_.end()) return false;
    words_.erase(it);
    return true;
}

std::vector<std::string> Arguments::positional(size_t min, size_t max, const std::string& usage)
{
    for (const std::string& word : words_)
        if (word.size() > 2 && word.compare(0, 2, "--") == 0)
            Usage("unknown option " + word + "; usage: " + usage);
    if (words_.size() < min || words_.size() > max) Usage("usage: " + usage);
    return words_;
}

} // namespace orvimapi
