#include "platform/win32/Win32Database.h"

#include "platform/win32/Com.h"

#include <adoint.h>

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {

// {00000550-0000-0010-8000-00AA006D2EA4}
constexpr GUID kIidConnection = {0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

constexpr long kOptionUnspecified = -1;

// ADO's error numbers keep their HRESULT value, as a caller of ADO sees them.
[[noreturn]] void Raise(HRESULT hr, const char* what) {
    std::string text = ComDescription(hr);
    if (text.empty()) {
        char code[16];
        std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
        text = std::string(what) + " failed (" + code + ")";
    }
    throw Error(static_cast<int32_t>(hr), text);
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) Raise(hr, what);
}

void AppendTwo(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

// A field value as the export reads it: text as stored, whole numbers as decimal digits, a date
// as "YYYY-MM-DD HH:MM:SS".
void ToFieldValue(VARIANT& v, FieldValue& value) {
    value.text.clear();
    value.isNull = false;
    value.isNumber = false;
    VARTYPE type = v.vt & ~VT_BYREF;
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
            value.isNull = true;
            return;
        case VT_BSTR:
            if (v.vt & VT_BYREF) {
                if (v.pbstrVal && *v.pbstrVal) value.text = Narrow(std::wstring(*v.pbstrVal, ::SysStringLen(*v.pbstrVal)));
            } else if (v.bstrVal) {
                value.text = Narrow(std::wstring(v.bstrVal, ::SysStringLen(v.bstrVal)));
            }
            return;
        case VT_DATE: {
            SYSTEMTIME t{};
            if (!::VariantTimeToSystemTime(v.vt & VT_BYREF ? *v.pdate : v.date, &t)) return;
            char text[24];
            std::snprintf(text, sizeof text, "%04u-", static_cast<unsigned>(t.wYear));
            value.text = text;
            AppendTwo(value.text, t.wMonth);
            value.text += '-';
            AppendTwo(value.text, t.wDay);
            value.text += ' ';
            AppendTwo(value.text, t.wHour);
            value.text += ':';
            AppendTwo(value.text, t.wMinute);
            value.text += ':';
            AppendTwo(value.text, t.wSecond);
            return;
        }
        default: break;
    }
    // Numbers and everything else: the invariant text of the value, so that no regional
    // decimal separator gets into the export.
    Variant text;
    if (FAILED(::VariantChangeTypeEx(text.out(), &v, LOCALE_INVARIANT, 0, VT_BSTR))) return;
    value.text = Narrow(std::wstring(text.get().bstrVal, ::SysStringLen(text.get().bstrVal)));
    value.isNumber = type == VT_I1 || type == VT_I2 || type == VT_I4 || type == VT_I8 || type == VT_UI1 ||
                     type == VT_UI2 || type == VT_UI4 || type == VT_UI8 || type == VT_INT || type == VT_UINT ||
                     type == VT_R4 || type == VT_R8 || type == VT_CY || type == VT_DECIMAL;
}

// The description of the first entry of the connection's Errors collection, where ADO puts
// what the provider reported; empty when there is none.
std::string FirstError(_ADOConnection& connection) {
    ComPtr<ADOErrors> errors;
    long count = 0;
    if (FAILED(connection.get_Errors(errors.out())) || !errors || FAILED(errors->get_Count(&count)) || count < 1)
        return {};
    Variant index;
    index.get().vt = VT_I4;
    index.get().lVal = 0;
    ComPtr<ADOError> error;
    Bstr text;
    if (FAILED(errors->get_Item(index.get(), error.out())) || !error || FAILED(error->get_Description(text.out())))
        return {};
    return Narrow(text.text());
}

// Closes the connection once the last of it, the connection or a row set, is released.
struct Link {
    ComPtr<_ADOConnection> connection;
    ~Link() {
        if (connection) connection->Close();
    }
};

class AdoRecordset : public Recordset {
public:
    AdoRecordset(std::shared_ptr<Link> link, ComPtr<_ADORecordset> rows)
        : link_(std::move(link)), rows_(std::move(rows)) {}
    ~AdoRecordset() override {
        if (rows_) rows_->Close();
    }

    bool Eof() override {
        VARIANT_BOOL eof = VARIANT_TRUE;
        Check(rows_->get_EOF(&eof), "EOF");
        return eof != VARIANT_FALSE;
    }

    void Read(std::string_view name, FieldValue& value) override {
        ComPtr<ADOFields> fields;
        Check(rows_->get_Fields(fields.out()), "Fields");
        Variant index;
        index.get().vt = VT_BSTR;
        std::wstring wide = Widen(name);
        index.get().bstrVal = ::SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        ComPtr<ADOField> field;
        Check(fields->get_Item(index.get(), field.out()), "Fields.Item");
        Variant content;
        Check(field->get_Value(content.out()), "Field.Value");
        ToFieldValue(content.get(), value);
    }

    void MoveNext() override { Check(rows_->MoveNext(), "MoveNext"); }

private:
    std::shared_ptr<Link> link_;
    ComPtr<_ADORecordset> rows_;
};

class AdoConnection : public Connection {
public:
    explicit AdoConnection(std::shared_ptr<Link> link) : link_(std::move(link)) {}

    std::unique_ptr<Recordset> Execute(const std::string& sql) override {
        Bstr command(Widen(sql));
        Variant affected;
        ComPtr<_ADORecordset> rows;
        Check(link_->connection->Execute(command.get(), &affected.get(), kOptionUnspecified, rows.out()),
              "Execute");
        if (!rows) throw Error(static_cast<int32_t>(E_FAIL), "The statement returned no rows: " + sql);
        return std::make_unique<AdoRecordset>(link_, std::move(rows));
    }

private:
    std::shared_ptr<Link> link_;
};

}  // namespace

struct Win32Database::Apartment {
    ComApartment apartment;
};

Win32Database::Win32Database() : apartment_(std::make_unique<Apartment>()) {}
Win32Database::~Win32Database() = default;

std::unique_ptr<Connection> Win32Database::Open(const std::string& connectionString) {
    CLSID clsid{};
    HRESULT hr = ::CLSIDFromProgID(L"ADODB.Connection", &clsid);
    auto link = std::make_shared<Link>();
    if (SUCCEEDED(hr))
        hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidConnection,
                                reinterpret_cast<void**>(link->connection.out()));
    if (FAILED(hr)) Raise(hr, "Creating the ADO connection");
    Bstr text(Widen(connectionString)), user(L""), password(L"");
    hr = link->connection->Open(text.get(), user.get(), password.get(), kOptionUnspecified);
    if (FAILED(hr)) {
        std::string description = ComDescription(hr);
        if (description.empty()) description = FirstError(*link->connection.get());
        // ADO's own text for a provider that is not installed (Jet is missing on 64-bit-only
        // systems and under Wine), where the provider's lookup left none.
        if (description.empty() && (hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG))
            description = "Provider cannot be found. It may not be properly installed.";
        link->connection.Reset();  // never opened, so nothing to close
        if (description.empty()) Raise(hr, "Opening the database");
        throw Error(static_cast<int32_t>(hr), description);
    }
    return std::make_unique<AdoConnection>(std::move(link));
}

}  // namespace zc::win32
