#pragma once
// Small COM helpers of the Windows layer: the apartment of the calling thread, owned
// interface pointers, BSTRs, and the description of a failed call.
#include "platform/win32/WinApi.h"

#include <oleauto.h>

#include <string>
#include <utility>

namespace zc::win32 {

// Enters a single-threaded apartment for as long as it lives (the user-interface thread's).
class ComApartment {
public:
    ComApartment() : hr_(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(hr_)) ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    HRESULT hr_;
};

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            Reset();
            p_ = std::exchange(other.p_, nullptr);
        }
        return *this;
    }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    T** out() {
        Reset();
        return &p_;
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : b_(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { ::SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR get() const { return b_; }
    BSTR* out() {
        ::SysFreeString(b_);
        b_ = nullptr;
        return &b_;
    }
    std::wstring text() const { return b_ ? std::wstring(b_, ::SysStringLen(b_)) : std::wstring(); }

private:
    BSTR b_ = nullptr;
};

class Variant {
public:
    Variant() { ::VariantInit(&v_); }
    ~Variant() { ::VariantClear(&v_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    VARIANT& get() { return v_; }
    VARIANT* out() {
        ::VariantClear(&v_);
        return &v_;
    }

private:
    VARIANT v_;
};

// The description the failing object left for its last call (IErrorInfo), else Windows'
// message for the HRESULT; empty when neither says anything.
std::string ComDescription(HRESULT hr);

}  // namespace zc::win32
