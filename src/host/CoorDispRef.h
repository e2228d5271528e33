// A counted reference to the host's data service, in the manner of a COM smart
// pointer: copying takes a reference, destruction gives it back.
#pragma once

#include <sqda/ICoorDisp.h>

#include <utility>

namespace sqda {

class CoorDispRef
{
public:
    CoorDispRef() = default;
    explicit CoorDispRef(ICoorDisp *p) : m_p(p)
    {
        if (m_p)
            m_p->AddRef();
    }
    CoorDispRef(const CoorDispRef &o) : CoorDispRef(o.m_p) {}
    CoorDispRef(CoorDispRef &&o) noexcept : m_p(std::exchange(o.m_p, nullptr)) {}
    CoorDispRef &operator=(CoorDispRef o) noexcept
    {
        std::swap(m_p, o.m_p);
        return *this;
    }
    ~CoorDispRef() { reset(); }

    void reset()
    {
        if (ICoorDisp *p = std::exchange(m_p, nullptr))
            p->Release();
    }
    ICoorDisp *get() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

private:
    ICoorDisp *m_p = nullptr;
};

} // namespace sqda
