#include "platform/win32/Com.h"

#include "platform/win32/WinText.h"

namespace zc::win32 {

std::string ComDescription(HRESULT hr) {
    ComPtr<IErrorInfo> info;
    if (::GetErrorInfo(0, info.out()) == S_OK && info) {
        Bstr text;
        if (SUCCEEDED(info->GetDescription(text.out()))) {
            std::wstring description = text.text();
            while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r'))
                description.pop_back();
            if (!description.empty()) return Narrow(description);
        }
    }
    wchar_t* buffer = nullptr;
    DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                   FORMAT_MESSAGE_IGNORE_INSERTS,
                               nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&buffer), 0,
                               nullptr);
    std::wstring text = n && buffer ? std::wstring(buffer, n) : std::wstring();
    if (buffer) ::LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' '))
        text.pop_back();
    return Narrow(text);
}

}  // namespace zc::win32
