// The remote API through the stand-in rapi.dll under Wine: what the whole transfer does not
// reach (wildcards and case, folders in a listing, the end of a listing, undocking).
#include <gtest/gtest.h>

#include "Support.h"
#include "handheld/Handheld.h"
#include "platform/Kernel.h"
#include "platform/win32/Win32Rapi.h"

namespace zc::test {

namespace {

using Names = std::vector<std::string>;

// The names a search lists, in order, folders marked with a trailing "\"; `endReason` is the
// error that ended it.
Names List(Rapi& rapi, const char16_t* pattern, uint32_t* endReason) {
    CE_FIND_DATA record{};
    Names names;
    HANDLE find = rapi.CeFindFirstFile(pattern, &record);
    *endReason = rapi.CeGetLastError();
    if (find == kInvalidHandle) return names;
    do names.push_back(WideBufferToString(record.cFileName, 260) + (record.dwFileAttributes & kFileAttributeDirectory ? "\\" : ""));
    while (rapi.CeFindNextFile(find, &record));
    *endReason = rapi.CeGetLastError();
    EXPECT_NE(rapi.CeFindClose(find), 0);
    return names;
}

}  // namespace

TEST(RemoteApi, ServesTheSimulatedHandheldThroughTheStandIn) {
    Handheld handheld;
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\a.bmp", "a");
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\B.BMP", "b");
    handheld.File("My Documents\\Pocket Zilba\\Signatures\\notes.txt", "x");
    handheld.Folder("My Documents\\Pocket Zilba\\Signatures\\old.bmp");
    handheld.File("..\\outside.bmp", "beside the handheld, not on it");
    win32::Win32Rapi rapi;
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    // The 560-byte find record carries each name and whether it is a folder.
    uint32_t end = 0;
    EXPECT_EQ(List(rapi, u"\\my documents\\POCKET ZILBA\\Signatures\\*.bmp", &end), (Names{"a.bmp", "B.BMP", "old.bmp\\"}));
    EXPECT_EQ(end, ERROR_NO_MORE_FILES_CE);
    EXPECT_EQ(List(rapi, u"\\My Documents\\Pocket Zilba\\Signatures\\*.jpg", &end), Names{});
    EXPECT_EQ(List(rapi, u"\\My Documents\\Pocket Zilba\\Signatures", &end), Names{"Signatures\\"}) << "an exact path";
    // No path leaves the handheld's root.
    EXPECT_EQ(List(rapi, u"\\..\\*.bmp", &end), Names{});
    EXPECT_EQ(rapi.CeCreateFile(u"\\..\\outside.bmp", kGenericRead, kFileShareRead, nullptr,
                                kOpenExisting, kFileAttributeNormal, 0),
              kInvalidHandle);

    // Undocking drops the connection and every handle; docking again lets a new one open.
    HANDLE open = rapi.CeCreateFile(u"\\My Documents\\Pocket Zilba\\Signatures\\a.bmp", kGenericRead, kFileShareRead,
                                    nullptr, kOpenExisting, kFileAttributeNormal, 0);
    ASSERT_NE(open, kInvalidHandle);
    handheld.Dock(false);
    uint32_t n = 0;
    char buffer[16];
    EXPECT_EQ(rapi.CeReadFile(open, buffer, sizeof buffer, &n, nullptr), 0);
    EXPECT_EQ(List(rapi, u"\\My Documents\\*", &end), Names{});
    EXPECT_EQ(end, ERROR_DEVICE_NOT_CONNECTED_CE);
    EXPECT_NE(rapi.CeRapiInit(), 0);
    handheld.Dock(true);
    EXPECT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
}

}  // namespace zc::test
