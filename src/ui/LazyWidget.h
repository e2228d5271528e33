// A child control made on its first use, read like the pointer it stands for.
//
// A screen may hold a control that most openings never show (a panel the user
// opens on request): making it costs as much as several shown controls, so it
// is made by the first access instead of by the screen's constructor. Code
// that only asks about the control (is it shown, what does it hold) and must
// not make it asks `made()` first.
#pragma once

#include <functional>
#include <utility>

namespace sqda {

template<class T> class LazyWidget
{
public:
    // `make` builds the control, parented and placed where it belongs.
    explicit LazyWidget(std::function<T *()> make)
        : m_make(std::move(make))
    {
    }
    LazyWidget(const LazyWidget &) = delete;
    LazyWidget &operator=(const LazyWidget &) = delete;

    T *get() const
    {
        if (!m_widget)
            m_widget = m_make();
        return m_widget;
    }
    T *operator->() const { return get(); }
    operator T *() const { return get(); }
    // The control if it has been made; null otherwise, and nothing is made.
    T *made() const { return m_widget; }

private:
    std::function<T *()> m_make;
    mutable T *m_widget = nullptr; // owned by its parent widget
};

} // namespace sqda
