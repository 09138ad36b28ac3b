// COM for the platform code: an owning pointer and the apartment a call needs.
// Platform code only.
#pragma once
#include <objbase.h>

namespace plat {

template <class T>
class CComPtr {
public:
    CComPtr() = default;
    ~CComPtr() { Reset(); }
    CComPtr(CComPtr&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }
    CComPtr(const CComPtr&) = delete;
    CComPtr& operator=(const CComPtr&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }
    // For the functions that hand out a new reference.
    T** Out() {
        Reset();
        return &m_p;
    }
    void** OutVoid() { return reinterpret_cast<void**>(Out()); }
    void Reset() {
        if (m_p) {
            m_p->Release();
            m_p = nullptr;
        }
    }

private:
    T* m_p = nullptr;
};

// COM on the calling thread for the life of the object. A thread that has it
// already, in either model, keeps what it has.
class CComScope {
public:
    explicit CComScope(DWORD model = COINIT_APARTMENTTHREADED)
        : m_bOwn(SUCCEEDED(CoInitializeEx(nullptr, model))) {}
    ~CComScope() {
        if (m_bOwn) {
            CoUninitialize();
        }
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    bool m_bOwn;
};

}  // namespace plat
