// One shape for every owner of a handle: a move-only value closed with its owner.
// Each owner is this template over its close function, or a thin class over it that
// adds what is special to its kind.
#pragma once

#include <type_traits>
#include <utility>

namespace framework {

// Holds one T, closed by Close when replaced or destroyed. A value-initialised T is
// "nothing held"; Close must accept it. Close may carry state (the object that
// handed the value out), passed to the constructor.
template <typename T, typename Close>
class Unique {
public:
    Unique() noexcept = default;
    explicit Unique(T owned) noexcept : m_value(owned) {}
    explicit Unique(Close close) noexcept : m_close(std::move(close)) {}
    Unique(Unique&& other) noexcept : m_value(other.release()), m_close(std::move(other.m_close)) {}
    Unique& operator=(Unique&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
            m_close = std::move(other.m_close);
        }
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { m_close(m_value); }

    const T& get() const noexcept { return m_value; }

    // For out-parameters: closes what was held, then lends the slot.
    T* put() noexcept
    {
        reset();
        return &m_value;
    }

    // Hands the value to a caller who closes it.
    T release() noexcept
    {
        T value = m_value;
        m_value = T{};
        return value;
    }

    void reset(T owned = T{}) noexcept
    {
        // Resetting a handle to itself keeps it open.
        if constexpr (std::is_pointer_v<T>) {
            if (owned == m_value)
                return;
        }
        T old = m_value;
        m_value = owned;
        m_close(old);
    }

protected:
    T& value() noexcept { return m_value; }
    const Close& closer() const noexcept { return m_close; }

private:
    T m_value{};
    Close m_close{};
};

} // namespace framework
