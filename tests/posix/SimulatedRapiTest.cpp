#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "platform/posix/SimulatedRapi.h"
#include "platform/posix/XdgPaths.h"
#include "support/TempDir.h"

namespace zc::posix {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;
namespace fs = std::filesystem;

class SimulatedRapiTest : public ::testing::Test {
protected:
    SimulatedRapiTest() {
        home.UseAsHome();
        fs::create_directories(Device("My Documents/Pocket Zilba/Signatures"));
    }
    std::string Device(const std::string& relative) const { return HandheldRoot() + "/" + relative; }

    HANDLE Find(const std::string& path, CE_FIND_DATA* data) {
        return rapi.CeFindFirstFile(Utf8ToUtf16(path).c_str(), data);
    }
    HANDLE Open(const std::string& path, uint32_t access = GENERIC_READ,
                uint32_t creation = OPEN_EXISTING) {
        return rapi.CeCreateFile(Utf8ToUtf16(path).c_str(), access,
                                 access == GENERIC_READ ? FILE_SHARE_READ : FILE_SHARE_WRITE,
                                 nullptr, creation, FILE_ATTRIBUTE_NORMAL, 0);
    }
    static std::string Name(const CE_FIND_DATA& data) {
        size_t n = 0;
        while (n < 260 && data.cFileName[n] != 0) ++n;
        return Utf16ToUtf8(std::u16string_view(data.cFileName, n));
    }
    // Every entry of a search as "name:attributes", or "none" when the search finds nothing.
    std::vector<std::string> Search(const std::string& path) {
        CE_FIND_DATA data{};
        HANDLE h = Find(path, &data);
        if (h == INVALID_HANDLE_VALUE) return {"none"};
        std::vector<std::string> names;
        do {
            names.push_back(Name(data) + ":" + std::to_string(data.dwFileAttributes));
        } while (rapi.CeFindNextFile(h, &data) != 0);
        EXPECT_NE(rapi.CeFindClose(h), 0);
        return names;
    }

    TempDir home;
    SimulatedRapi rapi;
};

TEST_F(SimulatedRapiTest, ConnectionOpensOnlyWhileDocked) {
    WriteFile(Device("My Documents/Pocket Zilba/.purge"), "");
    CE_FIND_DATA data{};
    uint32_t read = 99;
    char buffer[16];

    // Nothing works before the connection is open.
    EXPECT_EQ(Find("\\My Documents\\Pocket Zilba\\.purge", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\.purge"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(rapi.CeReadFile(1, buffer, 16, &read, nullptr), 0);
    EXPECT_EQ(read, 0u);
    EXPECT_NE(rapi.CeRapiUninit(), 0);

    ASSERT_EQ(rapi.CeRapiInit(), 0);
    HANDLE file = Open("\\My Documents\\Pocket Zilba\\.purge");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_GT(file, 0);

    // Undocking drops the connection and its handles; the connection cannot be reopened.
    WriteFile(UndockedMarker(), "");
    EXPECT_EQ(Find("\\My Documents\\Pocket Zilba\\.purge", &data), INVALID_HANDLE_VALUE);
    EXPECT_EQ(rapi.CeReadFile(file, buffer, 16, &read, nullptr), 0);
    EXPECT_NE(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.OpenHandles(), 0u);

    fs::remove(UndockedMarker());
    ASSERT_EQ(rapi.CeRapiInit(), 0);
    EXPECT_EQ(rapi.CeCloseHandle(file), 0) << "a handle of the lost connection stays invalid";
    file = Open("\\My Documents\\Pocket Zilba\\.purge");
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(rapi.CeRapiUninit(), 0);
    EXPECT_EQ(rapi.CeReadFile(file, buffer, 16, &read, nullptr), 0);
    EXPECT_EQ(Find("\\My Documents\\Pocket Zilba\\.purge", &data), INVALID_HANDLE_VALUE);

    // No handheld folder at all: no connection.
    fs::remove_all(HandheldRoot());
    EXPECT_NE(rapi.CeRapiInit(), 0);
}

TEST_F(SimulatedRapiTest, SearchesMatchNamesAndWildcardsWithoutCase) {
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/b.bmp"), "");
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/A.BMP"), std::string(3000, 'x'));
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/notes.txt"), "n");
    fs::create_directories(Device("My Documents/Pocket Zilba/Signatures/old.bmp"));
    fs::create_directories(Device("My Documents/Pocket Zilba/.purge"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    // Names as stored, in name order; folders carry the directory bit.
    EXPECT_EQ(Search("\\my documents\\POCKET ZILBA\\signatures\\*.bmp"),
              (std::vector<std::string>{"A.BMP:128", "b.bmp:128", "old.bmp:16"}));
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Signatures\\*.*"),
              (std::vector<std::string>{"A.BMP:128", "b.bmp:128", "notes.txt:128", "old.bmp:16"}));
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Signatures\\?.bmp"),
              (std::vector<std::string>{"A.BMP:128", "b.bmp:128"}));
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Signatures\\*.gif"),
              std::vector<std::string>{"none"});
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Missing\\*.bmp"),
              std::vector<std::string>{"none"});
    // An exact name finds the one entry, a folder as well as a file.
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\.PURGE"), std::vector<std::string>{".purge:16"});
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\signatures\\a.bmp"),
              std::vector<std::string>{"A.BMP:128"});
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\nothing"), std::vector<std::string>{"none"});

    // The record is filled whole: size, and zeros after the name however dirty it was.
    CE_FIND_DATA data;
    std::memset(static_cast<void*>(&data), 0xAB, sizeof data);
    HANDLE h = Find("\\My Documents\\Pocket Zilba\\Signatures\\a.bmp", &data);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(data.nFileSizeLow, 3000u);
    EXPECT_EQ(data.nFileSizeHigh, 0u);
    EXPECT_EQ(data.dwOID, 0u);
    EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
    for (size_t i = 5; i < 260; ++i) ASSERT_EQ(data.cFileName[i], 0) << i;
    EXPECT_EQ(rapi.CeFindNextFile(h, &data), 0);
    EXPECT_NE(rapi.CeFindClose(h), 0);
    EXPECT_EQ(rapi.CeFindClose(h), 0);
    EXPECT_EQ(rapi.CeFindNextFile(h, &data), 0);
    EXPECT_EQ(rapi.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, NamesOutsideAsciiKeepTheirExactForm) {
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/Ünterschrift.bmp"), "u");
    // A name that is not valid text could never be reported back; the handheld does not list it.
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/bad\xff.bmp"), "b");
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Signatures\\*.bmp"),
              std::vector<std::string>{"Ünterschrift.bmp:128"});
    HANDLE f = Open("\\My Documents\\Pocket Zilba\\Signatures\\ÜNTERSCHRIFT.BMP");
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    EXPECT_NE(rapi.CeCloseHandle(f), 0);
    // Only ASCII letters fold: "ü" is another letter than "Ü".
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures\\ünterschrift.bmp"),
              INVALID_HANDLE_VALUE);
}

TEST_F(SimulatedRapiTest, ReadsDeliverTheFileInPiecesThenZero) {
    std::string content;
    for (int i = 0; i < 2500; ++i) content += static_cast<char>(i * 7);
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/a.bmp"), content);
    WriteFile(Device("My Documents/Pocket Zilba/Signatures/k.bmp"), std::string(1024, 'k'));
    fs::create_directories(Device("My Documents/Pocket Zilba/Signatures/old.bmp"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    auto readAll = [&](HANDLE h) {
        std::vector<uint32_t> counts;
        std::string got;
        uint8_t buffer[1025];
        for (int guard = 0; guard < 10; ++guard) {
            uint32_t read = 12345;
            if (rapi.CeReadFile(h, buffer, 1024, &read, nullptr) == 0) {
                counts.push_back(9999);  // a failed read
                break;
            }
            counts.push_back(read);
            if (read == 0) break;
            got.append(reinterpret_cast<char*>(buffer), read);
        }
        return std::make_pair(counts, got);
    };

    HANDLE a = Open("\\My Documents\\Pocket Zilba\\Signatures\\A.bmp");
    ASSERT_NE(a, INVALID_HANDLE_VALUE);
    auto [counts, got] = readAll(a);
    EXPECT_EQ(counts, (std::vector<uint32_t>{1024, 1024, 452, 0}));
    EXPECT_EQ(got, content);
    uint32_t read = 7;
    uint8_t byte;
    EXPECT_NE(rapi.CeReadFile(a, &byte, 1, &read, nullptr), 0) << "reading at the end succeeds";
    EXPECT_EQ(read, 0u);
    EXPECT_NE(rapi.CeCloseHandle(a), 0);
    EXPECT_EQ(rapi.CeCloseHandle(a), 0);
    EXPECT_EQ(rapi.CeReadFile(a, &byte, 1, &read, nullptr), 0);

    HANDLE k = Open("\\My Documents\\Pocket Zilba\\Signatures\\k.bmp");
    ASSERT_NE(k, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(k).first, (std::vector<uint32_t>{1024, 0}));
    EXPECT_NE(rapi.CeCloseHandle(k), 0);

    // Only existing plain files open for reading.
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures\\old.bmp"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures\\gone.bmp"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures\\*.bmp"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(rapi.CeReadFile(4242, &byte, 1, &read, nullptr), 0);
    EXPECT_EQ(rapi.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, CreateAlwaysMakesOrEmptiesTheFile) {
    const std::string flagPath = "\\My Documents\\Pocket Zilba\\.purge";
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    HANDLE h = Open(flagPath, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_NE(rapi.CeCloseHandle(h), 0);
    EXPECT_EQ(fs::file_size(Device("My Documents/Pocket Zilba/.purge")), 0u);

    // An existing file of that name, in any case, is the one truncated; no second file appears.
    fs::remove(Device("My Documents/Pocket Zilba/.purge"));
    WriteFile(Device("My Documents/Pocket Zilba/.PURGE"), "left over");
    h = Open(flagPath, GENERIC_WRITE, CREATE_ALWAYS);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    uint32_t read = 0;
    uint8_t byte;
    EXPECT_EQ(rapi.CeReadFile(h, &byte, 1, &read, nullptr), 0) << "a write handle does not read";
    EXPECT_NE(rapi.CeCloseHandle(h), 0);
    EXPECT_EQ(ReadFile(Device("My Documents/Pocket Zilba/.PURGE")), "");
    EXPECT_FALSE(fs::exists(Device("My Documents/Pocket Zilba/.purge")));

    // The folder must exist, and a folder of that name is not replaced.
    EXPECT_EQ(Open("\\My Documents\\Nowhere\\.purge", GENERIC_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(Device("My Documents/Nowhere")));
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures", GENERIC_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_TRUE(fs::is_directory(Device("My Documents/Pocket Zilba/Signatures")));

    // Other access and creation pairs are not served.
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\new", GENERIC_READ, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(flagPath, GENERIC_WRITE, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open(flagPath, GENERIC_READ | GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(Device("My Documents/Pocket Zilba/new")));
    EXPECT_EQ(rapi.OpenHandles(), 0u);
}

TEST_F(SimulatedRapiTest, PathsNeverLeaveTheHandheld) {
    // Beside the handheld root, where a path with ".." would land.
    const std::string outside = fs::path(HandheldRoot()).parent_path().string();
    WriteFile(outside + "/secret.txt", "secret");
    fs::create_symlink(outside, Device("My Documents/Pocket Zilba/link"));
    fs::create_symlink(outside + "/secret.txt", Device("My Documents/Pocket Zilba/Signatures/s.bmp"));
    ASSERT_EQ(rapi.CeRapiInit(), 0);

    for (const std::string path :
         {"\\..\\secret.txt", "\\My Documents\\..\\..\\secret.txt", "/../secret.txt",
          "\\My Documents\\Pocket Zilba\\link\\secret.txt", "\\.\\My Documents",
          "C:\\My Documents", "\\My Documents\\Pocket Zilba\\Signatures\\s.bmp"}) {
        CE_FIND_DATA data{};
        EXPECT_EQ(Find(path, &data), INVALID_HANDLE_VALUE) << path;
        EXPECT_EQ(Open(path), INVALID_HANDLE_VALUE) << path;
    }
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\*"),
              std::vector<std::string>{"Signatures:16"});
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\Signatures\\*.bmp"),
              std::vector<std::string>{"none"});

    EXPECT_EQ(Open("\\..\\escaped.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\link\\escaped.txt", GENERIC_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\My Documents\\Pocket Zilba\\Signatures\\s.bmp", GENERIC_WRITE, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_FALSE(fs::exists(outside + "/escaped.txt"));
    EXPECT_EQ(ReadFile(outside + "/secret.txt"), "secret");

    // Doubled separators, as a setting with a trailing backslash gives, still reach the file.
    WriteFile(Device("My Documents/Pocket Zilba/.purge"), "");
    EXPECT_EQ(Search("\\My Documents\\Pocket Zilba\\\\.purge"), std::vector<std::string>{".purge:128"});
}

}  // namespace
}  // namespace zc::posix
