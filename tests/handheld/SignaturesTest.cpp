#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "handheld/Handheld.h"
#include "platform/Error.h"
#include "support/Rig.h"

namespace zc::test {
namespace fs = std::filesystem;

namespace {

const char* kSigs = "My Documents/Pocket Zilba/Signatures/";

std::string Bytes(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    return s;
}

struct SignatureRig : Rig {
    SignatureRig() {
        fs::create_directories(Local("Export"));
        EXPECT_EQ(rapi.CeRapiInit(), 0);
    }
    ~SignatureRig() { rapi.CeRapiUninit(); }
    void ExpectAllClosed() {
        EXPECT_EQ(rapi.openHandles, 0);
        EXPECT_EQ(kernel.openFiles, 0);
    }
    std::vector<std::string> Calls(const std::string& prefix) {
        std::vector<std::string> out;
        for (const auto& c : plan.calls)
            if (c.rfind(prefix, 0) == 0) out.push_back(c);
        return out;
    }
};

int ExpectError(const std::function<void()>& step) {
    try {
        step();
    } catch (const Error& e) {
        return e.number();
    }
    ADD_FAILURE() << "expected an error";
    return 0;
}

}  // namespace

TEST(CopySignatures, CopiesInChunksAtAdvancingOffsetsAndCounts) {
    SignatureRig rig;
    std::string a = Bytes(3000, 1);
    rig.DeviceFile(std::string(kSigs) + "a.bmp", a);
    rig.DeviceFolder(std::string(kSigs) + "old.bmp");
    rig.DeviceFile(std::string(kSigs) + "p.bmp", "");
    rig.DeviceFile(std::string(kSigs) + "q.bmp", Bytes(1024, 2));
    rig.DeviceFile(std::string(kSigs) + "notes.txt", "not a bitmap");

    CopySignatures(rig.f);

    EXPECT_EQ(rig.form.log, (std::vector<std::string>{
                                "Copying signatures from handheld device", "Copying file: a.bmp",
                                "Ignoring directory: old.bmp", "Copying file: p.bmp",
                                "Copying file: q.bmp"}));
    EXPECT_EQ(rig.Calls("CeFindFirstFile"),
              std::vector<std::string>{
                  "CeFindFirstFile \\My Documents\\Pocket Zilba\\Signatures\\*.bmp"});
    EXPECT_EQ(rig.Calls("WriteFile"),
              (std::vector<std::string>{"WriteFile 0 1024", "WriteFile 1024 1024",
                                        "WriteFile 2048 952", "WriteFile 0 1024"}));
    EXPECT_EQ(rig.Calls("CeReadFile"),
              (std::vector<std::string>{"CeReadFile 1024 -> 1024", "CeReadFile 1024 -> 1024",
                                        "CeReadFile 1024 -> 952", "CeReadFile 1024 -> 0",
                                        "CeReadFile 1024 -> 0", "CeReadFile 1024 -> 1024",
                                        "CeReadFile 1024 -> 0"}));
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), a);
    EXPECT_EQ(ReadFile(rig.Local("Export/p.bmp")), "");
    EXPECT_EQ(ReadFile(rig.Local("Export/q.bmp")), Bytes(1024, 2));
    EXPECT_FALSE(fs::exists(rig.Local("Export/notes.txt")));
    EXPECT_EQ(rig.form.fields[Field::Signs], "3");
    EXPECT_EQ(rig.form.refreshes, 3) << "the count shows after each copied file";
    rig.ExpectAllClosed();
}

TEST(CopySignatures, NothingToCopyIsOneLine) {
    SignatureRig rig;
    CopySignatures(rig.f);  // no signature folder at all
    rig.DeviceFolder(kSigs);
    CopySignatures(rig.f);  // an empty one
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{
                                "Copying signatures from handheld device", "No signature found!!",
                                "Copying signatures from handheld device", "No signature found!!"}));
    EXPECT_EQ(rig.form.fields[Field::Signs], "0");
    rig.ExpectAllClosed();
}

TEST(CopySignatures, UnopenableDeviceFileKeepsAGoodLocalCopyAndFailsTheStep) {
    SignatureRig rig;
    rig.DeviceFile(std::string(kSigs) + "a.bmp", Bytes(10, 3));
    rig.DeviceFile(std::string(kSigs) + "b.bmp", Bytes(2000, 4));
    WriteFile(rig.Local("Export/a.bmp"), "good earlier copy");
    rig.plan.FailCall("CeCreateFile", 1);

    EXPECT_EQ(ExpectError([&] { CopySignatures(rig.f); }), -600);
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), "good earlier copy");
    EXPECT_EQ(ReadFile(rig.Local("Export/b.bmp")), Bytes(2000, 4)) << "later entries still copied";
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{
                                "Copying signatures from handheld device", "Copying file: a.bmp",
                                "  ..Failed to open device file", "Copying file: b.bmp"}));
    EXPECT_EQ(rig.form.fields[Field::Signs], "1");
    rig.ExpectAllClosed();
}

TEST(CopySignatures, FailedReadWriteOrCreateLeavesNoPartialCopy) {
    struct Case {
        const char* op;
        int call;
        const char* line;
    };
    for (Case c : {Case{"CeReadFile", 2, "  ..Failed to read device file"},
                   Case{"WriteFile", 2, "  ..Failed to write local file"},
                   Case{"CreateFileA", 1, "  ..Failed to create local file"}}) {
        SCOPED_TRACE(c.op);
        SignatureRig rig;
        rig.DeviceFile(std::string(kSigs) + "a.bmp", Bytes(3000, 5));
        rig.DeviceFile(std::string(kSigs) + "b.bmp", Bytes(100, 6));
        rig.plan.FailCall(c.op, c.call);

        EXPECT_EQ(ExpectError([&] { CopySignatures(rig.f); }), -600);
        EXPECT_FALSE(fs::exists(rig.Local("Export/a.bmp")));
        EXPECT_EQ(ReadFile(rig.Local("Export/b.bmp")), Bytes(100, 6));
        ASSERT_GE(rig.form.log.size(), 3u);
        EXPECT_EQ(rig.form.log[2], c.line);
        EXPECT_EQ(rig.form.fields[Field::Signs], "1");
        rig.ExpectAllClosed();
    }
}

TEST(CopySignatures, CounterAtItsLimitStopsAfterTheFileIsWhole) {
    SignatureRig rig;
    rig.DeviceFile(std::string(kSigs) + "a.bmp", Bytes(1500, 7));
    rig.DeviceFile(std::string(kSigs) + "b.bmp", Bytes(10, 8));
    rig.form.fields[Field::Signs] = "32767";
    EXPECT_EQ(ExpectError([&] { CopySignatures(rig.f); }), kErrOverflow);
    EXPECT_EQ(ReadFile(rig.Local("Export/a.bmp")), Bytes(1500, 7));
    EXPECT_FALSE(fs::exists(rig.Local("Export/b.bmp")));
    EXPECT_EQ(rig.form.fields[Field::Signs], "32767");
    rig.ExpectAllClosed();

    rig.form.fields[Field::Signs] = "many";
    EXPECT_EQ(ExpectError([&] { CopySignatures(rig.f); }), kErrTypeMismatch);
    rig.ExpectAllClosed();
}

// A handheld whose search hands back names no file may have on the PC.
class ScriptedNames : public Rapi {
public:
    ScriptedNames(Rapi& real, std::vector<std::u16string> names) : real_(real), names_(names) {}
    int32_t CeRapiInit() override { return real_.CeRapiInit(); }
    int32_t CeRapiUninit() override { return real_.CeRapiUninit(); }
    HANDLE CeFindFirstFile(const char16_t*, CE_FIND_DATA* d) override {
        next_ = 0;
        return Fill(d) ? 77 : INVALID_HANDLE_VALUE;
    }
    int32_t CeFindNextFile(HANDLE, CE_FIND_DATA* d) override { return Fill(d) ? 1 : 0; }
    int32_t CeFindClose(HANDLE) override { return 1; }
    HANDLE CeCreateFile(const char16_t* n, uint32_t a, uint32_t s, const void* sec, uint32_t c,
                        uint32_t f, HANDLE t) override {
        opened.push_back(n);
        return real_.CeCreateFile(n, a, s, sec, c, f, t);
    }
    int32_t CeReadFile(HANDLE h, void* b, uint32_t n, uint32_t* r, void* o) override {
        return real_.CeReadFile(h, b, n, r, o);
    }
    int32_t CeCloseHandle(HANDLE h) override { return real_.CeCloseHandle(h); }
    std::vector<std::u16string> opened;

private:
    bool Fill(CE_FIND_DATA* d) {
        if (next_ >= names_.size()) return false;
        *d = CE_FIND_DATA{};
        d->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
        std::copy(names_[next_].begin(), names_[next_].end(), d->cFileName);
        ++next_;
        return true;
    }
    Rapi& real_;
    std::vector<std::u16string> names_;
    size_t next_ = 0;
};

TEST(CopySignatures, NamesThatAreNotPlainFileNamesAreRefused) {
    SignatureRig rig;
    rig.DeviceFile(std::string(kSigs) + "ok.bmp", "BM");
    ScriptedNames names(rig.rapi, {u"..", u"..\\..\\evil.bmp", u"sub/x.bmp", u"ok.bmp"});
    Platform os{rig.registry, rig.kernel, rig.shell, names, rig.files, rig.real.database,
                rig.real.http, rig.clock};
    MainForm f{rig.form, os};

    EXPECT_EQ(ExpectError([&] { CopySignatures(f); }), -600);
    EXPECT_EQ(rig.form.log, (std::vector<std::string>{
                                "Copying signatures from handheld device", "Copying file: ..",
                                "  ..Ignoring invalid file name: ..",
                                "Copying file: ..\\..\\evil.bmp",
                                "  ..Ignoring invalid file name: ..\\..\\evil.bmp",
                                "Copying file: sub/x.bmp",
                                "  ..Ignoring invalid file name: sub/x.bmp",
                                "Copying file: ok.bmp"}));
    EXPECT_EQ(names.opened.size(), 1u) << "only the plain name reaches the handheld";
    EXPECT_EQ(ReadFile(rig.Local("Export/ok.bmp")), "BM");
    EXPECT_EQ(rig.form.fields[Field::Signs], "1");
}

TEST(WideBufferToString, StopsAtTheFirstZeroAndRefusesAnUnterminatedArray) {
    char16_t name[260] = {};
    std::u16string text = u"Sign\u00e9 \u4e2d.bmp";
    std::copy(text.begin(), text.end(), name);
    name[text.size() + 1] = u'x';  // after the terminator: not part of the name
    EXPECT_EQ(WideBufferToString(name, 260), "Sign\xc3\xa9 \xe4\xb8\xad.bmp");

    std::fill(std::begin(name), std::end(name), u'a');
    try {
        WideBufferToString(name, 260);
        FAIL() << "expected subscript out of range";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), kErrSubscript);
        EXPECT_EQ(e.description(), "Subscript out of range");
    }
}

}  // namespace zc::test
