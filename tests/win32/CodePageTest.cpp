// What travels to the server goes in the ANSI code page (1252 here): a setting or path it cannot
// hold is refused before anything is taken from the handheld.
#include <gtest/gtest.h>

#include <tuple>

#include "Support.h"
#include "platform/win32/Win32Platform.h"
#include "server/Server.h"
#include "support/FakeForm.h"

namespace zc::test {

TEST(CodePage, WhatTheAnsiCodePageCannotHoldIsRefused) {
    win32::Win32Platform platform;
    FakeForm form;
    MainForm f{form, platform.platform()};
    // "Jürgen" and "Büro": ü is 0xFC in code page 1252, two bytes in UTF-8.
    form.fields = {{Field::LocalDir, "C:\\J\xc3\xbcrgen"}, {Field::Server, "127.0.0.1:1"}, {Field::Site, "B\xc3\xbcro"}};
    EXPECT_NO_THROW(RefuseUnsendableSettings(f));
    // "Ł" (U+0141) has no place in 1252, and no "best fit" stands in for it.
    for (auto [field, text, name] : {std::tuple{Field::Site, "\xc5\x81" "odz", "Zilba site"},
                                     std::tuple{Field::LocalDir, "C:\\\xc5\x81odz", "Local directory"}}) {
        FakeForm one;
        one.fields = form.fields;
        one.fields[field] = text;
        MainForm g{one, platform.platform()};
        Error e = ErrorOf([&] { RefuseUnsendableSettings(g); });
        EXPECT_EQ(e.number(), kErrUnsendable);
        EXPECT_EQ(e.description(), std::string("The ") + name + " setting holds \"\xc5\x81\", a character this PC's "
                                   "code page lacks, which cannot reach the server intact. Change it and try again.");
    }
    EXPECT_EQ(ErrorOf([&] { RefuseUnsendableFile("The chosen export file's path", "C:\\\xe2\x82\xac\xe4\xb8\xad\\x.txt"); })
                  .description()
                  .rfind("The chosen export file's path holds \"\xe4\xb8\xad\"", 0),
              0u)
        << "the euro sign is in 1252, the CJK character is not";
}

}  // namespace zc::test
