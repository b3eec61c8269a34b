// The ADO layer under Wine, which has no Jet and whose ADO fetches no rows: field values (real
// VARIANTs) as the export writes them, and the failure without Jet.
#include "platform/win32/WinApi.h"

#include <gtest/gtest.h>

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
    value.text = "left from the last row";  // a read reuses the one before
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

// Opening without the provider names it, in the program's words.
TEST(AdoFailures, OpeningWithoutTheProviderNamesTheMissingProvider) {
    Win32Database database;
    auto jet = test::ErrorOf([&] { database.Open(kJet); });
    EXPECT_EQ(jet.description(), "The database provider Microsoft.Jet.OLEDB.4.0 is not installed on this PC.");
    EXPECT_LT(jet.number(), 0) << "the failing call's HRESULT";
    auto other =
        test::ErrorOf([&] { database.Open("Persist Security Info=False;provider=Zilba.Nowhere.1;Data Source=x"); });
    EXPECT_EQ(other.description(), "The database provider Zilba.Nowhere.1 is not installed on this PC.");
}

}  // namespace
}  // namespace zc::win32
