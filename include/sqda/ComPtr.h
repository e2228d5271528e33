// A counted reference to an interface counted in the manner of an automation
// object (AddRef/Release): constructing or copying one takes a reference,
// destroying it gives the reference back. The library, its hosts and the
// tests hold every ICoorDisp, and every class implementing it, through this.
#pragma once

#include <utility>

namespace sqda {

template<typename T> class ComPtr
{
public:
    ComPtr() = default;
    explicit ComPtr(T *p)
        : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(const ComPtr &o)
        : ComPtr(o.m_p)
    {
    }
    ComPtr(ComPtr &&o) noexcept
        : m_p(std::exchange(o.m_p, nullptr))
    {
    }
    ComPtr &operator=(ComPtr o) noexcept
    {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~ComPtr() { reset(); }

    void reset()
    {
        if (T *p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T *get() const { return m_p; }
    T *operator->() const { return m_p; }
    T &operator*() const { return *m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    T *m_p = nullptr;
};

} // namespace sqda
