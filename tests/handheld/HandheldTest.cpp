// The signature copy, given names by the handheld that no file may have on the PC. (The other
// handheld steps run in the whole transfers and the fault sweep.)
#include <gtest/gtest.h>

#include "handheld/Handheld.h"
#include "support/Rig.h"

namespace zc::test {

using Lines = std::vector<std::string>;

namespace {

const std::string kSigs = "My Documents/Pocket Zilba/Signatures/";

struct SignatureRig : Rig {
    SignatureRig() {
        fs::create_directories(Local("Export"));
        EXPECT_EQ(rapi.CeRapiInit(), 0);
    }
    ~SignatureRig() {
        EXPECT_EQ(rapi.openHandles, 0);
        EXPECT_EQ(kernel.openFiles, 0);
        rapi.CeRapiUninit();
    }
    Lines Calls(const std::string& prefix) {
        Lines out;
        for (const auto& c : plan.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
};

}  // namespace

// A handheld whose search hands back names no file may have on the PC.
struct ScriptedNames : FaultyRapi {
    using FaultyRapi::FaultyRapi;
    std::vector<std::u16string> names;
    size_t next = 0;
    bool Fill(CE_FIND_DATA* d) {
        if (next >= names.size()) return false;
        *d = CE_FIND_DATA{};
        d->dwFileAttributes = kFileAttributeNormal;
        std::copy(names[next].begin(), names[next].end(), d->cFileName);
        ++next;
        return true;
    }
    HANDLE CeFindFirstFile(const char16_t*, CE_FIND_DATA* d) override {
        return Fill(d) ? 77 : kInvalidHandle;
    }
    int32_t CeFindNextFile(HANDLE, CE_FIND_DATA* d) override { return Fill(d); }
    int32_t CeFindClose(HANDLE) override { return 1; }
    uint32_t CeGetLastError() override { return ERROR_NO_MORE_FILES_CE; }
};

TEST(CopySignatures, NamesThatAreNotPlainFileNamesAreRefused) {
    SignatureRig rig;
    rig.DeviceFile(kSigs + "ok.bmp", "BM");
    ScriptedNames names(rig.real.rapi, rig.plan);
    names.names = {u"..", u"..\\..\\evil.bmp", u"sub/x.bmp", u"ok.bmp"};
    Platform os{rig.registry, rig.kernel, rig.shell, names, rig.files, rig.real.database,
                rig.real.http, rig.clock};
    MainForm f{rig.form, os};

    EXPECT_EQ(ErrorOf([&] { CopySignatures(f); }).number(), -600);
    Lines expected{"Copying signatures from handheld device"};
    for (const char* bad : {"..", "..\\..\\evil.bmp", "sub/x.bmp"}) {
        expected.push_back(std::string("Copying file: ") + bad);
        expected.push_back(std::string("  ..Ignoring invalid file name: ") + bad);
    }
    expected.push_back("Copying file: ok.bmp");
    EXPECT_EQ(rig.form.log, expected);
    EXPECT_EQ(rig.Calls("CeCreateFile"),
              Lines{"CeCreateFile \\My Documents\\Pocket Zilba\\Signatures\\ok.bmp"})
        << "only the plain name reaches the handheld";
    EXPECT_EQ(Names(rig.Local("Export")), Lines{"ok.bmp"});
    EXPECT_EQ(rig.form.fields[Field::Signs], "1");
}

}  // namespace zc::test
