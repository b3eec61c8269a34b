// The ADO layer under Wine: ADO's field values (real VARIANTs, made by the OLE Automation
// functions) as the texts the export writes, and the failure texts of a PC without the Jet
// provider (Wine has none) or without ADO. Wine's ADO fetches no rows, so the reads of a real
// record set are not tested here.
#include "platform/win32/WinApi.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
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

// Values as ADO hands them over for the columns of Control and Jobs and the other column types a
// converted database may hold, each made from its text in the invariant locale.
const struct {
    VARTYPE type;
    const wchar_t* made;
    const char* expected;
} kValues[] = {
    {VT_I4, L"731", "number 731"},  // UserID, EventCode
    {VT_I4, L"-2147483648", "number -2147483648"},
    {VT_I2, L"-32768", "number -32768"},
    {VT_UI1, L"255", "number 255"},
    {VT_I8, L"9007199254740993", "number 9007199254740993"},
    {VT_UI4, L"4294967295", "number 4294967295"},
    {VT_R8, L"1.5", "number 1.5"},
    {VT_R8, L"-0.25", "number -0.25"},
    {VT_R8, L"101", "number 101"},
    {VT_R8, L"1e20", "number 1E+20"},
    {VT_R4, L"1.1", "number 1.1"},
    {VT_CY, L"12.34", "number 12.34"},
    {VT_CY, L"-0.0001", "number -0.0001"},
    {VT_CY, L"100", "number 100"},
    {VT_DECIMAL, L"-7.25", "number -7.25"},
    {VT_DECIMAL, L"123456789012345678901234567", "number 123456789012345678901234567"},
    {VT_DATE, L"12/05/2026 09:30:00", "text 2026-12-05 09:30:00"},  // DateTime
    {VT_DATE, L"02/29/2028 23:59:59", "text 2028-02-29 23:59:59"},
    {VT_DATE, L"01/01/2027", "text 2027-01-01 00:00:00"},
    {VT_DATE, L"18:00:00", "text 1899-12-30 18:00:00"},  // a time alone is on day zero
    {VT_DATE, L"12/29/1899 12:00:00", "text 1899-12-29 12:00:00"},
    {VT_BSTR, L"B\u00fcro 7+++x", "text B\xC3\xBCro 7+++x"},  // SiteName, Text, Signature
    {VT_BSTR, L"", "text"},
    {VT_BSTR, nullptr, "text"},  // a null text pointer is empty text
    {VT_NULL, nullptr, "null"},
    {VT_EMPTY, nullptr, "null"},
};

// A value converts alike by itself, inside a by-reference variant, and by reference.
TEST(AdoValues, EveryKindOfFieldValueGivesTheTextTheExportWritesPlainOrByReference) {
    for (const auto& row : kValues) {
        Variant plain;
        VARIANT& v = plain.get();
        v.vt = row.made ? VARTYPE{VT_BSTR} : row.type;
        v.bstrVal = row.made ? ::SysAllocString(row.made) : nullptr;
        if (row.made && row.type != VT_BSTR) {
            ASSERT_EQ(::VariantChangeTypeEx(&v, &v, LOCALE_INVARIANT, 0, row.type), S_OK) << row.expected;
        }
        EXPECT_EQ(Converted(v), row.expected) << "plain";
        VARIANT inVariant{};
        inVariant.vt = VT_BYREF | VT_VARIANT;
        inVariant.pvarVal = &v;
        EXPECT_EQ(Converted(inVariant), row.expected) << "in a by-reference variant";
        if (v.vt == VT_NULL || v.vt == VT_EMPTY) continue;  // no by-reference form
        VARIANT byReference{};
        byReference.vt = VT_BYREF | v.vt;
        byReference.byref = v.vt == VT_DECIMAL ? static_cast<void*>(&v.decVal) : static_cast<void*>(&v.lVal);
        EXPECT_EQ(Converted(byReference), row.expected) << "by reference";
    }
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
