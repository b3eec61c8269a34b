#include <gtest/gtest.h>

#include <filesystem>

#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

TEST(CheckDirectories, CreatesOnlyWhatIsMissingInOrder) {
    Rig rig;
    std::string local = rig.home / "new";
    rig.form.fields[Field::LocalDir] = local;
    CheckDirectories(rig.f);
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{"Checking directories...",
                                                      "Creating " + local,
                                                      "Creating " + local + "/Export",
                                                      "Creating " + local + "/Upload"}));
    EXPECT_TRUE(fs::is_directory(local + "/Export"));
    EXPECT_TRUE(fs::is_directory(local + "/Upload"));

    rig.form.log.clear();
    CheckDirectories(rig.f);
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Checking directories..."});
}

TEST(CheckDirectories, PlainFileCountsAsPresentAndMissingParentFails) {
    Rig rig;
    WriteFile(rig.Local("Export"), "not a folder");
    CheckDirectories(rig.f);
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{"Checking directories...",
                                                      "Creating " + rig.Local("Upload")}));
    EXPECT_TRUE(fs::is_regular_file(rig.Local("Export")));

    rig.form.log.clear();
    std::string orphan = rig.home / "missing/parent";
    rig.form.fields[Field::LocalDir] = orphan;
    try {
        CheckDirectories(rig.f);
        FAIL() << "a folder whose parent is missing cannot be created";
    } catch (const Error& e) {
        EXPECT_FALSE(e.description().empty());
    }
    EXPECT_EQ(rig.form.log.back(), "Creating " + orphan);
    EXPECT_FALSE(fs::exists(rig.home / "missing"));
}

TEST(PurgeFlag, FoundAsFileOrFolderAndSearchClosed) {
    Rig rig;
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    EXPECT_FALSE(CheckPurgeFlag(rig.f));
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Checking for purge flag"});

    rig.DeviceFolder("My Documents/Pocket Zilba/.PURGE");
    EXPECT_TRUE(CheckPurgeFlag(rig.f)) << "a folder of that name, any case, reads as the flag";
    EXPECT_EQ(rig.rapi.openHandles, 0);

    rig.form.fields[Field::DeviceDir] = "\\No Such Folder";
    EXPECT_FALSE(CheckPurgeFlag(rig.f));
    rig.rapi.CeRapiUninit();
}

TEST(PurgeFlag, SetCreatesAnEmptyFlagAndReportsFailure) {
    Rig rig;
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    rig.DeviceFile("My Documents/Pocket Zilba/.purge", "old content");
    SetPurgeFlag(rig.f);
    EXPECT_EQ(rig.form.log, std::vector<std::string>{"Setting purge flag in handheld device"});
    EXPECT_EQ(fs::file_size(rig.DevicePath("My Documents/Pocket Zilba/.purge")), 0u);
    EXPECT_EQ(rig.rapi.openHandles, 0);

    // An empty handheld directory puts the flag at the handheld's root.
    rig.form.fields[Field::DeviceDir] = "";
    SetPurgeFlag(rig.f);
    EXPECT_TRUE(fs::is_regular_file(rig.DevicePath(".purge")));
    EXPECT_EQ(rig.plan.calls.back(), "CeCloseHandle");

    rig.plan.FailCall("CeCreateFile");
    try {
        SetPurgeFlag(rig.f);
        FAIL() << "expected -500";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), -500);
        EXPECT_EQ(e.description(), "Failed to create purge flag");
    }
    rig.rapi.CeRapiUninit();
}

TEST(PurgeFlag, EmptyDeviceDirectorySearchesTheRoot) {
    Rig rig;
    ASSERT_EQ(rig.rapi.CeRapiInit(), 0);
    rig.form.fields[Field::DeviceDir] = "";
    rig.DeviceFile(".purge", "");
    EXPECT_TRUE(CheckPurgeFlag(rig.f));
    EXPECT_EQ(rig.plan.calls.front(), "CeRapiInit");
    EXPECT_EQ(rig.plan.calls[1], "CeFindFirstFile \\.purge");
    rig.rapi.CeRapiUninit();
}

}  // namespace zc::test
