#include "platform/win32/Win32Database.h"

#include "platform/win32/AdoValue.h"
#include "platform/win32/Com.h"

#include <adoint.h>

#include <cctype>
#include <cstdio>
#include <string_view>

#include "platform/Error.h"
#include "platform/win32/WinText.h"

namespace zc::win32 {

namespace {

// {00000550-0000-0010-8000-00AA006D2EA4}
constexpr GUID kIidConnection = {0x00000550, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

constexpr long kOptionUnspecified = -1;

// ADO's error adErrProviderNotFound (3706) as the HRESULT its calls return.
constexpr HRESULT kAdoProviderNotFound = static_cast<HRESULT>(0x800A0E7AL);

std::string HexCode(HRESULT hr) {
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));
    return code;
}

// ADO's error numbers keep their HRESULT value, as a caller of ADO sees them.
[[noreturn]] void Raise(HRESULT hr, const char* what) {
    std::string text = ComDescription(hr);
    if (text.empty()) text = std::string(what) + " failed (" + HexCode(hr) + ")";
    throw Error(static_cast<int32_t>(hr), text);
}

// The provider a connection string names ("Provider=Microsoft.Jet.OLEDB.4.0;..."), for the
// text of a failure; ADO's default one when it names none.
std::string ProviderOf(const std::string& connectionString) {
    size_t start = 0;
    while (start <= connectionString.size()) {
        size_t end = connectionString.find(';', start);
        if (end == std::string::npos) end = connectionString.size();
        std::string_view part(connectionString.data() + start, end - start);
        const size_t equals = part.find('=');
        auto trimmed = [](std::string_view t) {
            while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
            while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
            return t;
        };
        if (equals != std::string_view::npos) {
            std::string key(trimmed(part.substr(0, equals)));
            for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (key == "provider") return std::string(trimmed(part.substr(equals + 1)));
        }
        start = end + 1;
    }
    return "MSDASQL";
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) Raise(hr, what);
}

void AppendTwo(std::string& out, int value) {
    out += static_cast<char>('0' + value / 10 % 10);
    out += static_cast<char>('0' + value % 10);
}

}  // namespace

void ToFieldValue(const VARIANT& field, FieldValue& value) {
    value.text.clear();
    value.isNull = false;
    value.isNumber = false;
    // A by-reference value, a variant inside a variant too, reads as the value it points to:
    // copied out first, so that a null inside is null and a date inside is a date.
    Variant pointedTo;
    VARIANT* v = const_cast<VARIANT*>(&field);
    if (field.vt & VT_BYREF) {
        HRESULT hr = field.byref ? ::VariantCopyInd(pointedTo.out(), v) : E_POINTER;
        if (FAILED(hr)) Raise(hr, "Reading a by-reference field value");
        v = &pointedTo.get();
    }
    const VARTYPE type = v->vt;
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
            value.isNull = true;
            return;
        case VT_BSTR:
            if (v->bstrVal) value.text = Narrow(std::wstring_view(v->bstrVal, ::SysStringLen(v->bstrVal)));
            return;
        case VT_DATE: {
            // Out of the range Windows can tell (before the year 100): no text, and the export
            // writes no time and date for it.
            SYSTEMTIME t{};
            if (!::VariantTimeToSystemTime(v->date, &t)) return;
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
    // decimal separator gets into the export. A value without one (a binary column) fails the
    // read rather than reach the export as an empty field.
    Variant text;
    if (FAILED(::VariantChangeTypeEx(text.out(), v, LOCALE_INVARIANT, 0, VT_BSTR))) {
        char message[96];
        std::snprintf(message, sizeof message, "Type mismatch: a field value of variant type 0x%04X has no text form",
                      static_cast<unsigned>(type));
        throw Error(kErrTypeMismatch, message);
    }
    value.text = Narrow(std::wstring_view(text.get().bstrVal, ::SysStringLen(text.get().bstrVal)));
    value.isNumber = type == VT_I1 || type == VT_I2 || type == VT_I4 || type == VT_I8 || type == VT_UI1 ||
                     type == VT_UI2 || type == VT_UI4 || type == VT_UI8 || type == VT_INT || type == VT_UINT ||
                     type == VT_R4 || type == VT_R8 || type == VT_CY || type == VT_DECIMAL;
}

namespace {

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
    if (FAILED(hr)) {
        std::string reason = ComDescription(hr);
        if (reason.empty()) reason = HexCode(hr);
        throw Error(static_cast<int32_t>(hr), "The database cannot be opened: ADO (ADODB.Connection) is not "
                                              "available on this PC (" + reason + ")");
    }
    Bstr text(Widen(connectionString)), user(L""), password(L"");
    hr = link->connection->Open(text.get(), user.get(), password.get(), kOptionUnspecified);
    if (FAILED(hr)) {
        link->connection.Reset();  // never opened, so nothing to close
        // The provider is missing: ADO's own number for it, or the provider's class unknown
        // to COM (Jet is missing on 64-bit-only systems and under Wine).
        if (hr == kAdoProviderNotFound || hr == CO_E_CLASSSTRING || hr == REGDB_E_CLASSNOTREG)
            throw Error(static_cast<int32_t>(hr), "The database provider " + ProviderOf(connectionString) +
                                                      " is not installed on this PC.");
        std::string description = ComDescription(hr);
        if (description.empty()) description = FirstError(*link->connection.get());
        if (description.empty()) Raise(hr, "Opening the database");
        throw Error(static_cast<int32_t>(hr), description);
    }
    return std::make_unique<AdoConnection>(std::move(link));
}

}  // namespace zc::win32
