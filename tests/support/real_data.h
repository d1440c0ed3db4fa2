// Real Outlook files that tests read where they are (never copied into the
// project): the shared/realdata folder beside the checkout, or the folder
// named by ORVIMAPI_REALDATA. Tests skip, saying so, when it is absent or
// the stand-in was built without the reader the files need.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "mapisim/mapisim.h"

namespace testsupport {

// The real-data folder, or "" when there is none.
inline std::string RealDataDir()
{
    namespace fs = std::filesystem;
    std::vector<fs::path> candidates;
    if (const char* env = std::getenv("ORVIMAPI_REALDATA")) candidates.emplace_back(env);
    const fs::path source(ORVIMAPI_SOURCE_DIR);
    candidates.push_back(source / ".." / "shared" / "realdata");
    candidates.push_back(source / ".." / ".." / "shared" / "realdata");
    std::error_code ec;
    for (const auto& c : candidates)
        if (fs::is_directory(c / "msg", ec)) return fs::canonical(c, ec).string();
    return "";
}

// The files of a real-data subfolder ("msg", "pst"), sorted by name.
inline std::vector<std::string> RealDataFiles(const std::string& sub)
{
    std::vector<std::string> files;
    const std::string dir = RealDataDir();
    if (dir.empty()) return files;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir + "/" + sub, ec))
        if (e.is_regular_file()) files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace testsupport

// Skips the test unless the real .msg or .pst files and their reader are there.
#define SKIP_WITHOUT_REAL_DATA(kind)                                                \
    do {                                                                            \
        if (!mapisim_can_read(kind))                                                \
            GTEST_SKIP() << "the stand-in was built without its ." kind " reader";  \
        if (::testsupport::RealDataFiles(kind).empty())                             \
            GTEST_SKIP() << "no real ." kind " files: shared/realdata/" kind        \
                            "/ is not beside the checkout (set ORVIMAPI_REALDATA)"; \
    } while (0)
