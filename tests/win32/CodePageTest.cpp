// What travels to the server in the ANSI code page (1252 here, as wine-run.sh sets it): the
// upload's text pieces, as the export file already is, and the refusal of a setting or a path
// that the code page cannot hold before anything is taken from the handheld.
#include <gtest/gtest.h>

#include <tuple>

#include "Support.h"
#include "platform/win32/Win32Platform.h"
#include "server/Server.h"
#include "support/FakeForm.h"

namespace zc::test {

TEST(CodePage, TheUploadsTextGoesInTheAnsiCodePageAndWhatItCannotHoldIsRefused) {
    win32::Win32Platform platform;
    FakeForm form;
    MainForm f{form, platform.platform()};
    TempDir dir;
    // "Jürgen" and "Büro": ü is 0xFC in code page 1252, two bytes in UTF-8.
    const std::string folder = dir / "J\xc3\xbcrgen", file = folder + "\\c_zilba_1.txt";
    const std::string content = "EVENT \xc3\xbc\r\n";  // a file's bytes go as they are
    WriteFile(file, content);

    EXPECT_EQ(FormDataPart(f, "up_path", "/zilba/B\xc3\xbcro/p_zilba/import"),
              "Content-Disposition: form-data; name=\"up_path\"\r\n\r\n/zilba/B\xfcro/p_zilba/import");
    EXPECT_EQ(FormDataPart(f, "up_file1", file, "attachment", "text/plain"),
              "Content-Disposition: attachment; name=\"up_file1\"; filename=\"" + win32::ToAnsi(dir.path) +
                  "\\J\xfcrgen\\c_zilba_1.txt\"\r\nContent-Type: text/plain\r\n"
                  "Content-Transfer-Encoding: binary\r\n\r\n" + content);

    form.fields = {{Field::LocalDir, folder}, {Field::Server, "127.0.0.1:1"}, {Field::Site, "B\xc3\xbcro"}};
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
