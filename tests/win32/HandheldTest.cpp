// The remote API through the stand-in rapi.dll under Wine, where the whole transfer does not
// reach: wildcards and case, folders and the end of a listing, the root, undocking.
#include <gtest/gtest.h>

#include "Support.h"
#include "handheld/Handheld.h"
#include "platform/win32/Win32Rapi.h"

namespace zc::test {

TEST(RemoteApi, ServesTheSimulatedHandheldThroughTheStandIn) {
    Handheld handheld;
    for (const char* name : {"a.bmp", "B.BMP", "notes.txt"}) handheld.File("My Documents\\Signatures\\" + std::string(name), name);
    handheld.File("My Documents\\Signatures\\old.bmp\\inside.bmp", "a folder named like a bitmap");
    handheld.File("..\\outside.bmp", "beside the handheld, not on it");
    win32::Win32Rapi rapi;
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    // The names a search lists, folders marked with a trailing "\", and the error that ended it.
    auto list = [&rapi](const char16_t* pattern) {
        CE_FIND_DATA record{};  // the 560-byte find record
        std::string names;
        HANDLE find = rapi.CeFindFirstFile(pattern, &record);
        if (find != kInvalidHandle) {
            do names += WideBufferToString(record.cFileName, 260) + (record.dwFileAttributes & kFileAttributeDirectory ? "\\ " : " ");
            while (rapi.CeFindNextFile(find, &record));
            EXPECT_NE(rapi.CeFindClose(find), 0);
        }
        return names + std::to_string(rapi.CeGetLastError());
    };
    EXPECT_EQ(list(u"\\my documents\\SIGNATURES\\*.bmp"), "a.bmp B.BMP old.bmp\\ 18") << "ERROR_NO_MORE_FILES";
    // No path leaves the handheld's root.
    EXPECT_EQ(list(u"\\..\\*.bmp").find(".bmp"), std::string::npos);
    EXPECT_EQ(rapi.CeCreateFile(u"\\..\\outside.bmp", kGenericRead, kFileShareRead, nullptr, kOpenExisting,
                                kFileAttributeNormal, 0),
              kInvalidHandle);

    // Undocking drops the connection and every handle; docking again lets a new one open.
    HANDLE open = rapi.CeCreateFile(u"\\My Documents\\Signatures\\a.bmp", kGenericRead, kFileShareRead, nullptr,
                                    kOpenExisting, kFileAttributeNormal, 0);
    ASSERT_NE(open, kInvalidHandle);
    handheld.Dock(false);
    uint32_t n = 0;
    char buffer[16];
    EXPECT_EQ(rapi.CeReadFile(open, buffer, sizeof buffer, &n, nullptr), 0);
    EXPECT_EQ(list(u"\\My Documents\\*"), std::to_string(ERROR_DEVICE_NOT_CONNECTED_CE));
    EXPECT_NE(rapi.CeRapiInit(), 0);
    handheld.Dock(true);
    EXPECT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
}

}  // namespace zc::test
