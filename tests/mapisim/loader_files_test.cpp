// What the loader is handed as a file: only regular files are read, checked
// before they are opened, and no description above the size limit is; each
// refusal is one line of error and leaves the installed world alone.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "mapisim/mapisim.h"
#include "mapisim/model/world.h"

namespace {

const std::string kSample = std::string(ORVIMAPI_SOURCE_DIR) + "/samples/mailbox.json";
constexpr const char* kSmall = R"({"profiles": [{"name": "P", "default": true}]})";

class LoaderFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(mapisim_load_mailbox_string(kSmall), 0) << mapisim_last_load_error();
        world_ = mapisim::model::current_ptr();
    }
    void TearDown() override
    {
        mapisim_set_mailbox_size_limit(0);
        mapisim::model::install(nullptr);
        mapisim_reset_platform();
    }
    // A refused load: -1, one line of error that starts as given, the world kept.
    void ExpectRefused(int result, const std::string& start)
    {
        const std::string error = mapisim_last_load_error();
        EXPECT_EQ(result, -1);
        EXPECT_EQ(error.rfind(start, 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(mapisim::model::current_ptr(), world_);
    }
    std::string Temp(const std::string& name) const
    {
        return ::testing::TempDir() + std::to_string(getpid()) + "-" + name;
    }

    std::shared_ptr<mapisim::model::World> world_;
};

TEST_F(LoaderFiles, OnlyRegularFilesAreRead)
{
    // A directory used to throw out of the C interface and end the process.
    const std::string dir = Temp("dir");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    ExpectRefused(mapisim_load_mailbox_file(dir.c_str()), dir + ": not a regular file");
    rmdir(dir.c_str());

    // A device that never ends, and a FIFO without a writer, which an open
    // would wait on for ever.
    ExpectRefused(mapisim_load_mailbox_file("/dev/zero"), "/dev/zero: not a regular file");
    const std::string fifo = Temp("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefused(mapisim_load_mailbox_file(fifo.c_str()), fifo + ": not a regular file");
    std::remove(fifo.c_str());

    // A link to a regular file is followed.
    const std::string link = Temp("link.json");
    ASSERT_EQ(symlink(kSample.c_str(), link.c_str()), 0);
    EXPECT_EQ(mapisim_load_mailbox_file(link.c_str()), 0) << mapisim_last_load_error();
    std::remove(link.c_str());
}

TEST_F(LoaderFiles, DescriptionsAboveTheLimitAreRefusedByName)
{
    const std::string path = Temp("small.json");
    std::ofstream(path, std::ios::binary) << kSmall;
    const std::string size = std::to_string(std::string(kSmall).size());

    mapisim_set_mailbox_size_limit(10);
    ExpectRefused(mapisim_load_mailbox_file(path.c_str()),
                  path + ": the description has " + size + " bytes, more than the limit of 10 " +
                      "(mapisim_set_mailbox_size_limit)");
    ExpectRefused(mapisim_load_mailbox_string(kSmall), "the description has " + size + " bytes");

    // Exactly at the limit is within it; 0 brings back the default of 1 GiB.
    mapisim_set_mailbox_size_limit(std::string(kSmall).size());
    EXPECT_EQ(mapisim_load_mailbox_file(path.c_str()), 0) << mapisim_last_load_error();
    mapisim_set_mailbox_size_limit(0);
    ASSERT_EQ(mapisim_load_mailbox_file(kSample.c_str()), 0) << mapisim_last_load_error();
    std::remove(path.c_str());
}

} // namespace
