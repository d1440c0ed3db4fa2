// Creating, copying, moving, recycling, deleting, emptying and renaming
// folders, the name-collision retries, and every MAPI call failing in turn.
#include <algorithm>

#include "folders/folder_support.h"
#include "support/fault_sweep.h"

namespace {

using namespace foldertest;

constexpr int32_t kFault = MAPI_E_DISK_ERROR;
constexpr const char* kFaultCode = "Facility ITF, Error Num 278";
constexpr const char* kInvalidArgCode = "Facility WIN32, Error Num 87";

bool Has(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

class FolderManagement : public FolderTest {
protected:
    int32_t Copy(const Bytes& source, const Bytes& destination, int32_t move)
    {
        return OrviMapiFolderCopy(Size(storeId), storeId.data(), Size(source), source.data(),
                                  Size(destination), destination.data(), move);
    }
    int32_t New(const Bytes& parent, const char* name, OrviMapiFolder* made)
    {
        return OrviMapiFolderNew(Size(storeId), storeId.data(), Size(parent), parent.data(), name,
                                 made);
    }
    int32_t Recycle(const Bytes& id)
    {
        return OrviMapiFolderRecycle(Size(storeId), storeId.data(), Size(id), id.data());
    }
};

TEST_F(FolderManagement, CollidingNamesAreRetriedWithSuffixes)
{
    const Bytes archive = FolderId("Archive"); // holds Inbox and Inbox1
    mapisim_call_log_clear();
    ASSERT_EQ(Copy(FolderId("Inbox"), archive, 2), 0) << LastError(); // only 1 moves
    EXPECT_EQ(CallFlags("IMAPIFolder::CopyFolder", 2), COPY_SUBFOLDERS | FOLDER_DIALOG);
    EXPECT_TRUE(Has(Subfolders(""), "Inbox"));

    OrviMapiFolder made = nullptr;
    ASSERT_EQ(New(archive, "Inbox", &made), 0);
    EXPECT_EQ(NameOf(made), "Inbox3");
    OrviMapiReleaseFolder(made);
    EXPECT_EQ(Subfolders("Archive"),
              (std::vector<std::string>{"Drafts", "Inbox", "Inbox1", "Inbox2", "Inbox3"}));

    // The name, then the suffixes 1 to 99: 100 attempts in all.
    mapisim_fail_method("IMAPIFolder::CreateFolder", 1, 1, MAPI_E_COLLISION);
    mapisim_call_log_clear();
    made = nullptr;
    EXPECT_EQ(New(archive, "Plans", &made), MAPI_E_COLLISION);
    EXPECT_EQ(mapisim_call_count_of("IMAPIFolder::CreateFolder"), 100u);
    EXPECT_EQ(CallArg("IMAPIFolder::CreateFolder", "name", 99), "Plans99");
    EXPECT_EQ(made, nullptr);
}

TEST_F(FolderManagement, MoveRecycleAndTheLimitsOfNames)
{
    ASSERT_EQ(Copy(FolderId("Calendar"), FolderId("Archive"), 1), 0) << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::CopyFolder"), COPY_SUBFOLDERS | FOLDER_DIALOG | FOLDER_MOVE);
    EXPECT_FALSE(Has(Subfolders(""), "Calendar"));

    ASSERT_EQ(Recycle(FolderId("Projects")), 0) << LastError(); // Deleted Items holds a Projects
    EXPECT_EQ(Subfolders("Deleted Items"), (std::vector<std::string>{"Projects", "Projects1"}));
    EXPECT_EQ(Subfolders("Deleted Items/Projects1"), (std::vector<std::string>{"Plans"}));
    const std::vector<std::string> before = Subfolders("");
    EXPECT_EQ(Recycle(FolderId("Deleted Items")), MAPI_E_INVALID_OBJECT);
    EXPECT_EQ(Subfolders(""), before);

    // The store's root folder (the parent of the top) has no parent to copy from.
    OrviMapiProps props = nullptr;
    ASSERT_EQ(OrviMapiFolderPropsGet(top, &props), 0);
    const SBinary& rootId = reinterpret_cast<const SPropValue*>(props)[5].Value.bin;
    EXPECT_EQ(Copy(Bytes(rootId.lpb, rootId.lpb + rootId.cb), FolderId("Archive"), 2),
              MAPI_E_NOT_FOUND);
    OrviMapiFolderPropsRelease(top, props);

    const std::string longName(200, 'n');
    const Bytes empty = FolderId("Empty");
    ASSERT_EQ(OrviMapiFolderRename(Size(storeId), storeId.data(), Size(empty), empty.data(),
                                   longName.c_str()),
              0);
    EXPECT_TRUE(Has(Subfolders(""), longName.substr(0, 127)));
    ASSERT_EQ(Copy(empty, FolderId("Archive"), 2), 0) << LastError();
    EXPECT_EQ(Subfolders("Archive"), (std::vector<std::string>{"Calendar", "Drafts", "Inbox",
                                                               "Inbox1", longName.substr(0, 125)}));

    // Every retry keeps the one base of 125 characters, whatever the suffix's width.
    mapisim_call_log_clear();
    ASSERT_EQ(Copy(empty, FolderId("Archive"), 2), 0) << LastError();
    EXPECT_EQ(CallArg("IMAPIFolder::CopyFolder", "name", 1), longName.substr(0, 125) + "1");
    mapisim_fail_method("IMAPIFolder::CreateFolder", 1, 1, MAPI_E_COLLISION);
    mapisim_call_log_clear();
    OrviMapiFolder made = nullptr;
    EXPECT_EQ(New(FolderId("Archive"), longName.c_str(), &made), MAPI_E_COLLISION);
    mapisim_clear_faults();
    EXPECT_EQ(CallArg("IMAPIFolder::CreateFolder", "name", 0), longName.substr(0, 127));
    EXPECT_EQ(CallArg("IMAPIFolder::CreateFolder", "name", 9), longName.substr(0, 125) + "9");
    EXPECT_EQ(CallArg("IMAPIFolder::CreateFolder", "name", 10), longName.substr(0, 125) + "10");
}

TEST_F(FolderManagement, EmptyDeleteAndTheHandleForms)
{
    const Bytes projects = FolderId("Projects"), bulk = FolderId("Bulk"),
                calendar = FolderId("Calendar");
    mapisim_call_log_clear();
    EXPECT_EQ(OrviMapiFolderRename(Size(storeId), storeId.data(), Size(bulk), bulk.data(), ""),
              E_INVALIDARG);
    EXPECT_EQ(LastErrorCode(), kInvalidArgCode);
    EXPECT_EQ(mapisim_call_count(), 0u);

    ASSERT_EQ(OrviMapiFolderEmpty(Size(storeId), storeId.data(), Size(projects), projects.data()),
              0);
    EXPECT_EQ(CallFlags("IMAPIFolder::EmptyFolder"), FOLDER_DIALOG); // associated messages stay
    ASSERT_EQ(OrviMapiFolderDelete(Size(storeId), storeId.data(), Size(bulk), bulk.data()), 0)
        << LastError();
    EXPECT_EQ(CallFlags("IMAPIFolder::DeleteFolder"), DEL_MESSAGES | DEL_FOLDERS);
    ASSERT_EQ(OrviMapiFolderDelete2(top, Size(calendar), calendar.data()), 0);
    EXPECT_TRUE(Subfolders("Projects").empty());
    EXPECT_FALSE(Has(Subfolders(""), "Bulk") || Has(Subfolders(""), "Calendar"));

    OrviMapiFolder added = nullptr;
    EXPECT_EQ(OrviMapiFolderAdd(top, "inbox", &added), -1); // no retries here
    ASSERT_EQ(OrviMapiFolderAdd(top, "Added", &added), 0);
    const std::string before = LastError();
    EXPECT_EQ(OrviMapiFolderSetDisplayName(added, ""), -1);
    EXPECT_EQ(LastError(), before);
    ASSERT_EQ(OrviMapiFolderSetDisplayName(added, std::string(130, 'r').c_str()), 0);
    EXPECT_EQ(NameOf(added), std::string(127, 'r'));
    OrviMapiReleaseFolder(added);
}

// Fails each call in turn, then lets the export succeed: the failure is
// recorded with its own code, in this subsystem.
template <class Run>
void Sweep(const char* name, std::vector<FaultStep> steps, Run run)
{
    const std::vector<FaultStep> expected = steps;
    auto recordedHere = [&](const SweepRun& r) {
        if (!r.injected || r.nth > expected.size()) return;
        const bool invalid = expected[r.nth - 1].result == E_INVALIDARG;
        EXPECT_EQ(LastErrorCode(), invalid ? kInvalidArgCode : kFaultCode);
        EXPECT_NE(LastErrorLocation().find("src/folders/management.cpp#"), std::string::npos)
            << LastErrorLocation();
    };
    SweepFaults(FaultSweep(name).Fault(kFault).Steps(std::move(steps)).Check(recordedHere), run);
}

TEST_F(FolderManagement, EveryFailingCallIsReportedAndReleasesAll)
{
    const Bytes archive = FolderId("Archive"), empty = FolderId("Empty"),
                projects = FolderId("Projects"), calendar = FolderId("Calendar"),
                contacts = FolderId("Contacts"), mixed = FolderId("Mixed");
    const FaultStep openStore{"IMAPISession::OpenMsgStore", E_INVALIDARG};
    const FaultStep openFolder{"IMsgStore::OpenEntry", E_INVALIDARG};
    const FaultStep openParent{"IMsgStore::OpenEntry", kFault};
    const FaultStep copyFolder{"IMAPIFolder::CopyFolder", kFault};
    OrviMapiFolder odd = OpenFolder("Odd People");

    Sweep("OrviMapiFolderNew", {openStore, openFolder, {"IMAPIFolder::CreateFolder", kFault}}, [&] {
        OrviMapiFolder made = nullptr;
        const int32_t result = New(archive, "X", &made);
        OrviMapiReleaseFolder(made);
        return result;
    });
    Sweep("OrviMapiFolderCopy",
          {openStore,
           openFolder,
           openFolder,
           {"IMAPIFolder::GetProps", kFault},
           openParent,
           copyFolder},
          [&] { return Copy(empty, archive, 2); });
    // A move makes the same calls; the last moves the folder.
    Sweep("OrviMapiFolderCopy move",
          {openStore,
           openFolder,
           openFolder,
           {"IMAPIFolder::GetProps", kFault},
           openParent,
           copyFolder},
          [&] { return Copy(mixed, archive, 1); });
    Sweep("OrviMapiFolderRename",
          {openStore,
           openFolder,
           {"IMAPIFolder::SetProps", kFault},
           {"IMAPIFolder::SaveChanges", kFault}},
          [&] {
              return OrviMapiFolderRename(Size(storeId), storeId.data(), Size(empty), empty.data(),
                                          "E");
          });
    Sweep("OrviMapiFolderEmpty", {openStore, openFolder, {"IMAPIFolder::EmptyFolder", kFault}},
          [&] {
              return OrviMapiFolderEmpty(Size(storeId), storeId.data(), Size(projects),
                                         projects.data());
          });
    Sweep("OrviMapiFolderDelete",
          {openStore,
           openFolder,
           {"HrGetOneProp", kFault},
           {"IMAPIFolder::GetProps", kFault},
           openParent,
           {"IMAPIFolder::DeleteFolder", kFault}},
          [&] {
              return OrviMapiFolderDelete(Size(storeId), storeId.data(), Size(calendar),
                                          calendar.data());
          });
    // The copy collides once with Deleted Items/Projects.
    Sweep("OrviMapiFolderRecycle",
          {openStore,
           {"IMsgStore::GetProps", kFault},
           {"IMsgStore::CompareEntryIDs", kFault},
           openStore,
           openFolder,
           openFolder,
           {"IMAPIFolder::GetProps", kFault},
           openParent,
           copyFolder,
           copyFolder},
          [&] { return Recycle(projects); });
    Sweep("OrviMapiFolderAdd", {{"IMAPIFolder::CreateFolder", -1}}, [&] {
        OrviMapiFolder added = nullptr;
        const int32_t result = OrviMapiFolderAdd(top, "Added", &added);
        OrviMapiReleaseFolder(added);
        return result;
    });
    Sweep("OrviMapiFolderSetDisplayName",
          {{"IMAPIFolder::SetProps", -1}, {"IMAPIFolder::SaveChanges", -1}},
          [&] { return OrviMapiFolderSetDisplayName(odd, "Renamed"); });
    Sweep("OrviMapiFolderDelete2", {{"IMAPIFolder::DeleteFolder", -1}},
          [&] { return OrviMapiFolderDelete2(top, Size(contacts), contacts.data()); });
    OrviMapiReleaseFolder(odd);
}

} // namespace
