#include "outlook_files.h"

#include <string>
#include <vector>

#include "mapisim/mapisim.h"

namespace orvimapi {
namespace {

bool EndsWithMsg(const std::string& word)
{
    if (word.size() < 5) return false;
    std::string tail = word.substr(word.size() - 4);
    for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return tail == ".msg";
}

void OnlyOneSource(const Options& options)
{
    const int sources =
        !options.mailboxPath.empty() + !options.pstPath.empty() + !options.msgPaths.empty();
    if (sources > 1) Usage("give one of --mailbox, --pst and --msg");
}

} // namespace

bool TakeOutlookFileOption(int argc, char** argv, int& i, Options& options)
{
    const std::string word = argv[i];
    if (word == "--pst") {
        if (i + 1 >= argc) Usage("--pst needs a file");
        options.pstPath = argv[++i];
        return true;
    }
    if (word != "--msg") return false;
    // The files are the words that follow and end in .msg; the command's
    // name comes after them.
    const auto before = options.msgPaths.size();
    while (i + 1 < argc && EndsWithMsg(argv[i + 1])) options.msgPaths.push_back(argv[++i]);
    if (options.msgPaths.size() == before) Usage("--msg needs one or more .msg files");
    return true;
}

bool LoadOutlookFiles(const Options& options)
{
    OnlyOneSource(options);
    int result = 0;
    if (!options.pstPath.empty()) {
        result = mapisim_load_pst_file(options.pstPath.c_str());
    } else if (!options.msgPaths.empty()) {
        std::vector<const char*> paths;
        for (const std::string& path : options.msgPaths) paths.push_back(path.c_str());
        result = mapisim_load_msg_files(paths.data(), static_cast<uint32_t>(paths.size()));
    } else {
        return false;
    }
    if (result != 0) throw CommandFailure(mapisim_last_load_error(), 2);
    return true;
}

} // namespace orvimapi
