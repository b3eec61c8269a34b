// The ADO layer under Wine: the conversion of the values ADO hands over into the texts the export
// writes, fed real VARIANTs made by the OLE Automation functions, and the failure texts of a PC
// without the Jet provider (Wine has none) or without ADO. Wine's ADO fetches no rows, so the
// reads of a real record set are not tested here.
#include "platform/win32/WinApi.h"

#include <shlwapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "export/Export.h"
#include "platform/Error.h"
#include "platform/win32/AdoValue.h"
#include "platform/win32/Com.h"
#include "platform/win32/Win32Database.h"
#include "platform/win32/WinText.h"
#include "win32/Support.h"

namespace zc::win32 {
namespace {

DATE Date(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME t{year, month, 0, day, hour, minute, second, 0};
    DATE date = 0;
    EXPECT_TRUE(::SystemTimeToVariantTime(&t, &date));
    return date;
}

DATE DateFromText(const wchar_t* text) {
    DATE date = 0;
    EXPECT_EQ(::VarDateFromStr(const_cast<wchar_t*>(text), LOCALE_INVARIANT, 0, &date), S_OK) << Narrow(text);
    return date;
}

DECIMAL Decimal(const wchar_t* text) {
    DECIMAL value{};
    EXPECT_EQ(::VarDecFromStr(const_cast<wchar_t*>(text), LOCALE_INVARIANT, 0, &value), S_OK) << Narrow(text);
    return value;
}

CY Currency(double amount) {
    CY value{};
    EXPECT_EQ(::VarCyFromR8(amount, &value), S_OK);
    return value;
}

FieldValue Converted(const VARIANT& v) {
    FieldValue value;
    value.text = "left from the last row";  // a read reuses the text of the one before
    value.isNumber = true;
    ToFieldValue(v, value);
    return value;
}

// What the export reads from a field: null or not, a number or not, and the text.
struct Expected {
    bool isNull;
    bool isNumber;
    const char* text;
};

constexpr Expected kNull{true, false, ""};
Expected Number(const char* text) { return {false, true, text}; }
Expected Text(const char* text) { return {false, false, text}; }

struct Case {
    const char* what;
    std::function<void(VARIANT&)> make;
    Expected expected;
};

// Values as ADO hands them over for the columns of Control and Jobs, and for the other column
// types a converted database may hold.
std::vector<Case> PlainCases() {
    return {
        {"a long (UserID, EventCode)", [](VARIANT& v) { v.vt = VT_I4; v.lVal = 731; }, Number("731")},
        {"the smallest long", [](VARIANT& v) { v.vt = VT_I4; v.lVal = -2147483647 - 1; }, Number("-2147483648")},
        {"an integer", [](VARIANT& v) { v.vt = VT_I2; v.iVal = -32768; }, Number("-32768")},
        {"a byte", [](VARIANT& v) { v.vt = VT_UI1; v.bVal = 255; }, Number("255")},
        {"a 64-bit integer", [](VARIANT& v) { v.vt = VT_I8; v.llVal = 9007199254740993LL; },
         Number("9007199254740993")},
        {"an unsigned long", [](VARIANT& v) { v.vt = VT_UI4; v.ulVal = 4294967295U; }, Number("4294967295")},
        {"a double with a fraction", [](VARIANT& v) { v.vt = VT_R8; v.dblVal = 1.5; }, Number("1.5")},
        {"a negative double", [](VARIANT& v) { v.vt = VT_R8; v.dblVal = -0.25; }, Number("-0.25")},
        {"a whole double", [](VARIANT& v) { v.vt = VT_R8; v.dblVal = 101; }, Number("101")},
        {"a large double", [](VARIANT& v) { v.vt = VT_R8; v.dblVal = 1e20; }, Number("1E+20")},
        {"a single", [](VARIANT& v) { v.vt = VT_R4; v.fltVal = 1.1f; }, Number("1.1")},
        {"currency", [](VARIANT& v) { v.vt = VT_CY; v.cyVal = Currency(12.34); }, Number("12.34")},
        {"currency below a cent", [](VARIANT& v) { v.vt = VT_CY; v.cyVal = Currency(-0.0001); }, Number("-0.0001")},
        {"whole currency", [](VARIANT& v) { v.vt = VT_CY; v.cyVal = Currency(100); }, Number("100")},
        {"a decimal", [](VARIANT& v) { v.decVal = Decimal(L"-7.25"); v.vt = VT_DECIMAL; }, Number("-7.25")},
        {"a decimal beyond a double's digits",
         [](VARIANT& v) { v.decVal = Decimal(L"123456789012345678901234567"); v.vt = VT_DECIMAL; },
         Number("123456789012345678901234567")},
        {"a date and time (DateTime)", [](VARIANT& v) { v.vt = VT_DATE; v.date = Date(2026, 12, 5, 9, 30, 0); },
         Text("2026-12-05 09:30:00")},
        {"a date read from text", [](VARIANT& v) { v.vt = VT_DATE; v.date = DateFromText(L"02/29/2028 23:59:59"); },
         Text("2028-02-29 23:59:59")},
        {"a date at midnight", [](VARIANT& v) { v.vt = VT_DATE; v.date = Date(2027, 1, 1, 0, 0, 0); },
         Text("2027-01-01 00:00:00")},
        {"a time alone (day zero)", [](VARIANT& v) { v.vt = VT_DATE; v.date = 0.75; }, Text("1899-12-30 18:00:00")},
        {"a date before day zero", [](VARIANT& v) { v.vt = VT_DATE; v.date = -1.5; }, Text("1899-12-29 12:00:00")},
        {"text (SiteName, Text, Signature)",
         [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = ::SysAllocString(L"B\u00fcro 7+++x"); },
         Text("B\xC3\xBCro 7+++x")},
        {"empty text", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = ::SysAllocString(L""); }, Text("")},
        {"a null text pointer, which is empty text", [](VARIANT& v) { v.vt = VT_BSTR; v.bstrVal = nullptr; }, Text("")},
        {"null", [](VARIANT& v) { v.vt = VT_NULL; }, kNull},
        {"empty", [](VARIANT& v) { v.vt = VT_EMPTY; }, kNull},
    };
}

// A plain value converts alike by itself, by reference, and inside a by-reference variant;
// the export sees no difference.
TEST(AdoValues, EveryKindOfFieldValueGivesTheTextTheExportWritesPlainOrByReference) {
    for (const Case& c : PlainCases()) {
        Variant plain;
        c.make(plain.get());
        const Expected& e = c.expected;
        auto check = [&](const char* how, const VARIANT& v) {
            FieldValue value = Converted(v);
            EXPECT_EQ(value.isNull, e.isNull) << c.what << ", " << how;
            EXPECT_EQ(value.isNumber, e.isNumber) << c.what << ", " << how;
            EXPECT_EQ(value.text, e.text) << c.what << ", " << how;
        };
        check("plain", plain.get());

        VARIANT inVariant{};
        inVariant.vt = VT_BYREF | VT_VARIANT;
        inVariant.pvarVal = &plain.get();
        check("in a by-reference variant", inVariant);

        if (plain.get().vt == VT_NULL || plain.get().vt == VT_EMPTY) continue;  // no by-reference form
        VARIANT byReference{};
        byReference.vt = VT_BYREF | plain.get().vt;
        byReference.byref = plain.get().vt == VT_DECIMAL ? static_cast<void*>(&plain.get().decVal)
                                                          : static_cast<void*>(&plain.get().lVal);
        check("by reference", byReference);
    }
}

// The texts of the dates are the ones the export parses into its Time and Date fields; a
// number in the date column gives none.
TEST(AdoValues, ADateReachesTheExportAsItsHourMinuteAndDay) {
    Variant date;
    date.get().vt = VT_DATE;
    date.get().date = DateFromText(L"12/05/2026 10:15:27");
    FieldValue value = Converted(date.get());
    std::optional<LocalDateTime> when = ParseStoredDateTime(value.text);
    ASSERT_TRUE(when) << value.text;
    EXPECT_EQ((std::vector{when->year, when->month, when->day, when->hour, when->minute, when->second}),
              (std::vector{2026, 12, 5, 10, 15, 27}));

    Variant number;
    number.get().vt = VT_R8;
    number.get().dblVal = 46361.5;  // the same kind of value, but stored as a number
    EXPECT_TRUE(Converted(number.get()).isNumber);
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

// Runs a copy of this test program where Wine loads no ADO (Wine's own setting for one program:
// its msado15 disabled); its output.
std::string RunWithoutAdo() {
    wchar_t self[MAX_PATH];
    EXPECT_GT(::GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    test::TempDir dir;
    const std::wstring copy = test::P(dir / "zc-no-ado.exe").wstring();
    EXPECT_TRUE(::CopyFileW(self, copy.c_str(), FALSE));
    const wchar_t* settings = L"Software\\Wine\\AppDefaults\\zc-no-ado.exe";
    ::HKEY key = nullptr;
    EXPECT_EQ(::RegCreateKeyExW(kWinCurrentUser, (std::wstring(settings) + L"\\DllOverrides").c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(key, L"msado15", 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t));
    ::RegCloseKey(key);
    ::SetEnvironmentVariableW(kAdoHidden, L"1");

    ::SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    ::HANDLE read = nullptr, write = nullptr;
    EXPECT_TRUE(::CreatePipe(&read, &write, &inherit, 0));
    ::SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = write;
    std::wstring command = L"\"" + copy + L"\"";
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(copy.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                          &startup, &process);
    ::CloseHandle(write);
    ::SetEnvironmentVariableW(kAdoHidden, nullptr);
    std::string output;
    if (started) {
        char buffer[4096];
        DWORD n = 0;
        while (::ReadFile(read, buffer, sizeof buffer, &n, nullptr) && n) output.append(buffer, n);
        ::WaitForSingleObject(process.hProcess, 60000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(read);
    ::SHDeleteKeyW(kWinCurrentUser, settings);  // the key and its DllOverrides below it
    EXPECT_TRUE(started) << "cannot run the copy of the test program";
    return output;
}

// A PC where ADO itself cannot be made: the failure says ADO is what is missing.
TEST(AdoFailures, OpeningWithoutAdoNamesAdo) {
    const std::string output = RunWithoutAdo();
    const std::string expected = "The database cannot be opened: ADO (ADODB.Connection) is not available on this PC";
    EXPECT_EQ(output.rfind("failure ", 0), 0u) << output;
    EXPECT_NE(output.find(": " + expected + " ("), std::string::npos) << output;
}

}  // namespace
}  // namespace zc::win32
