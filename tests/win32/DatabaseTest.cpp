// The ADO layer under Wine: ADO's field values (real VARIANTs, made by the OLE Automation
// functions) as the texts the export writes, and the failure texts of a PC without the Jet
// provider (Wine has none) or without ADO. Wine's ADO fetches no rows, so the reads of a real
// record set are not tested here.
#include "platform/win32/WinApi.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "platform/Error.h"
#include "platform/win32/AdoValue.h"
#include "platform/win32/Com.h"
#include "platform/win32/Win32Database.h"
#include "platform/win32/WinText.h"
#include "win32/Support.h"

namespace zc::win32 {
namespace {

// What the export reads from a field: "null", or "number"/"text" and the text.
std::string Converted(const VARIANT& v) {
    FieldValue value;
    value.text = "left from the last row";  // a read reuses the text of the one before
    value.isNumber = true;
    ToFieldValue(v, value);
    return (value.isNull ? "null" : value.isNumber ? "number" : "text") + (value.text.empty() ? "" : " " + value.text);
}

// A value converts alike by itself, inside a by-reference variant, and by reference.
TEST(AdoValues, EveryKindOfFieldValueGivesTheTextTheExportWritesPlainOrByReference) {
    std::istringstream rows(test::ReadFile("Z:" ZC_DATA_DIR "\\ado-values.txt"));
    int count = 0;
    for (std::string line, type, made, expected; std::getline(rows, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream cells(line);
        std::getline(std::getline(std::getline(cells, type, '\t'), made, '\t'), expected);
        SCOPED_TRACE(line + " (row " + std::to_string(++count) + ")");
        const VARTYPE vt = VARTYPE(std::stoi(type));
        Variant plain;
        VARIANT& v = plain.get();
        v.vt = made == "<null>" ? vt : VARTYPE{VT_BSTR};
        v.bstrVal = made == "<null>" ? nullptr : ::SysAllocString(Widen(made).c_str());
        if (v.vt != vt) {
            ASSERT_EQ(::VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, vt), S_OK);
        }
        EXPECT_EQ(Converted(v), expected) << "plain";
        VARIANT inVariant{};
        inVariant.vt = VT_BYREF | VT_VARIANT;
        inVariant.pvarVal = &v;
        EXPECT_EQ(Converted(inVariant), expected) << "in a by-reference variant";
        if (v.vt == VT_NULL || v.vt == VT_EMPTY) continue;  // no by-reference form
        VARIANT byReference{};
        byReference.vt = VT_BYREF | v.vt;
        byReference.byref = v.vt == VT_DECIMAL ? static_cast<void*>(&v.decVal) : static_cast<void*>(&v.lVal);
        EXPECT_EQ(Converted(byReference), expected) << "by reference";
    }
    EXPECT_EQ(count, 26) << "every row of ado-values.txt read";
}

// A value with no text form (an object) fails the read with its type named, rather than
// reaching the export as an empty field.
TEST(AdoValues, AValueWithoutATextFormFailsTheReadInsteadOfExportingNothing) {
    Variant object;
    ASSERT_EQ(::CreateStreamOnHGlobal(nullptr, TRUE, reinterpret_cast<IStream**>(&object.get().punkVal)), S_OK);
    object.get().vt = VT_UNKNOWN;
    auto error = test::ErrorOf([&] { Converted(object.get()); });
    EXPECT_EQ(error.number(), kErrTypeMismatch);
    EXPECT_EQ(error.description(), "Type mismatch: a field value of variant type 0x000D has no text form");
}

const char kJet[] = "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=Z:\\tmp\\zc-no-such\\P_ZILBA.MDB;"
                    "Persist Security Info=False";

// Wine has ADO but no Jet: opening the converted database fails naming the provider, in the
// program's words (the same for a provider no PC has).
TEST(AdoFailures, OpeningWithoutTheProviderNamesTheMissingProvider) {
    Win32Database database;
    auto jet = test::ErrorOf([&] { database.Open(kJet); });
    EXPECT_EQ(jet.description(), "The database provider Microsoft.Jet.OLEDB.4.0 is not installed on this PC.");
    EXPECT_LT(jet.number(), 0) << "the failing call's HRESULT";
    auto other =
        test::ErrorOf([&] { database.Open("Persist Security Info=False;provider=Zilba.Nowhere.1;Data Source=x"); });
    EXPECT_EQ(other.description(), "The database provider Zilba.Nowhere.1 is not installed on this PC.");
}

constexpr wchar_t kAdoHidden[] = L"ZC_TEST_ADO_HIDDEN";

// The copy of this test program that runs where Wine loads no ADO (below) reports how opening
// fails and ends, before any test.
const bool kRunWithoutAdo = [] {
    if (!::GetEnvironmentVariableW(kAdoHidden, nullptr, 0)) return false;
    Win32Database database;
    try {
        database.Open(kJet);
        std::printf("opened\n");
    } catch (const Error& e) {
        std::printf("failure %ld: %s\n", static_cast<long>(e.number()), e.description().c_str());
    }
    std::fflush(stdout);
    std::_Exit(0);
}();

// A PC where ADO itself cannot be made (a copy of this program, for which Wine's own setting
// loads no msado15): the failure says ADO is what is missing.
TEST(AdoFailures, OpeningWithoutAdoNamesAdo) {
    wchar_t self[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    test::TempDir dir;
    const std::wstring copy = test::P(dir / "zc-no-ado.exe").wstring();
    ASSERT_TRUE(::CopyFileW(self, copy.c_str(), FALSE));
    const wchar_t* settings = L"Software\\Wine\\AppDefaults\\zc-no-ado.exe";
    ::HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(kWinCurrentUser, (std::wstring(settings) + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"msado15", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    ::RegCloseKey(key);
    ::SetEnvironmentVariableW(kAdoHidden, L"1");
    std::string output;
    if (FILE* out = ::_wpopen(copy.c_str(), L"rb")) {
        for (int c; (c = std::fgetc(out)) != EOF;) output += static_cast<char>(c);
        ::_pclose(out);
    }
    ::SetEnvironmentVariableW(kAdoHidden, nullptr);
    ::SHDeleteKeyW(kWinCurrentUser, settings);  // the key and its DllOverrides below it
    EXPECT_EQ(output.rfind("failure ", 0), 0u) << output;
    EXPECT_NE(output.find(": The database cannot be opened: ADO (ADODB.Connection) is not available on this PC ("),
              std::string::npos)
        << output;
}

}  // namespace
}  // namespace zc::win32
