// Real Outlook files named by a mailbox description: .msg files (by name or
// pattern, relative to the description) as a folder's messages, and a .pst
// file as a store. A file that cannot be read fails the whole load, saying
// which and where.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "mapisim/decl/mapitags.h"
#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"
#include "support/real_data.h"

namespace {

namespace fs = std::filesystem;
using namespace mapisim::model;
using testsupport::RealDataDir;

class DescribedFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() /
              ("orvimapi-described-" +
               std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        ASSERT_EQ(mapisim_load_mailbox_string(R"({"profiles": [{"name": "Kept"}]})"), 0);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(dir, ignored);
        mapisim_reset();
    }

    // Writes the description beside nothing else and loads it by its path.
    int LoadDescription(const std::string& stores)
    {
        description = (dir / "mailbox.json").string();
        std::ofstream(description)
            << R"({"profiles": [{"name": "Real", "default": true, "stores": [)" << stores << "]}]}";
        return mapisim_load_mailbox_file(description.c_str());
    }

    // The real-data folder as seen from the description's folder.
    std::string Relative(const std::string& sub)
    {
        return fs::relative(fs::path(RealDataDir()) / sub, dir).generic_string();
    }

    static std::string StoreWithFolder(const std::string& msgFiles)
    {
        return R"({"name": "Personal Folders", "provider": "Personal Folders", "default": true,
                   "folders": [{"name": "Real", "msg_files": )" +
               msgFiles + "}]}";
    }

    // The subjects of the folder named name, anywhere in the store.
    static std::vector<std::string> Subjects(const std::string& name)
    {
        std::vector<std::string> subjects;
        std::vector<std::shared_ptr<Folder>> pending = {
            current().find_profile("Real")->stores.at(0)->root()};
        while (!pending.empty()) {
            const std::shared_ptr<Folder> folder = pending.back();
            pending.pop_back();
            for (const auto& sub : folder->subfolders()) pending.push_back(sub);
            if (folder->display_name() != name) continue;
            for (const auto& m : folder->messages())
                subjects.push_back(m->props.text(PR_SUBJECT_A).value_or("<none>"));
        }
        return subjects;
    }

    fs::path dir;
    std::string description;
};

TEST_F(DescribedFiles, AFolderTakesMsgFilesByNameAndByPatternInNameOrder)
{
    SKIP_WITHOUT_REAL_DATA("msg");
    const std::string files =
        "[\"" + Relative("msg") + "/Simple.msg\", \"" + RealDataDir() + "/msg/vote*.msg\"]";
    ASSERT_EQ(LoadDescription(StoreWithFolder(files)), 0) << mapisim_last_load_error();
    const std::vector<std::string> subjects = Subjects("Real");
    ASSERT_EQ(subjects.size(), 3u);
    EXPECT_EQ(subjects[0], "Simple") << "as listed";
    // voteItems.msg before voteNo.msg, whose subject is the reply's.
    EXPECT_EQ(subjects[1].rfind("3 vote items", 0), 0u) << subjects[1];
    EXPECT_NE(subjects[2].find(": 3 vote items"), std::string::npos) << subjects[2];
}

TEST_F(DescribedFiles, AnUnreadableFileOrAnEmptyPatternLoadsNothing)
{
    SKIP_WITHOUT_REAL_DATA("msg");
    struct Case {
        std::string files, expected;
    } cases[] = {
        {"[\"" + Relative("msg") + "/nothing*.msg\"]", "msg_files[0]: no file matches"},
        {"[\"missing.msg\"]", "msg_files[0]: no such file: "},
        {"[\"" + RealDataDir() + "/msg/*/x.msg\"]", "wildcards only in the file name"},
        {"[\"" + Relative("msg") + "/Simple.msg\", \"" + RealDataDir() + "/README.md\"]",
         "msg_files[1]: " + RealDataDir() + "/README.md: not a compound file"},
        {"[\"\"]", "a file name is empty"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LoadDescription(StoreWithFolder(c.files)), -1) << c.files;
        const std::string error = mapisim_last_load_error();
        EXPECT_EQ(error.rfind(description + ":", 0), 0u) << error;
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_NE(current().find_profile("Kept"), nullptr) << "nothing half-loaded";
    }
}

TEST_F(DescribedFiles, AProfileNamesAPstFileAsAStore)
{
    SKIP_WITHOUT_REAL_DATA("pst");
    const std::string pst = testsupport::RealDataFiles("pst").front();
    const std::string relative = fs::relative(pst, dir).generic_string();
    ASSERT_EQ(LoadDescription(R"({"pst": ")" + relative + R"(", "default": true})"), 0)
        << mapisim_last_load_error();
    auto store = current().find_profile("Real")->stores.at(0);
    EXPECT_TRUE(store->is_default);
    EXPECT_FALSE(store->root()->subfolders().empty());

    EXPECT_EQ(LoadDescription(R"({"pst": "nope.pst"})"), -1);
    EXPECT_NE(std::string(mapisim_last_load_error()).find("stores[0].pst: no such file"),
              std::string::npos)
        << mapisim_last_load_error();
    EXPECT_EQ(LoadDescription(R"({"pst": ")" + relative + R"(", "name": "Other"})"), -1);
    EXPECT_NE(std::string(mapisim_last_load_error()).find("\"name\""), std::string::npos)
        << mapisim_last_load_error();
    EXPECT_NE(current().find_profile("Real"), nullptr) << "the first load stays";
}

} // namespace
