// A module's state, made on first use and reached afterwards with one load
// and no call: the hardware units' state is looked at on every turn of the
// service loop, where a function-local static's guarded call shows.
#pragma once

#include <atomic>

namespace console {

// Instance<T> at namespace scope is initialised before any code runs (a null
// pointer), so it may be used from other modules' static initialisers.
template <typename T>
class Instance {
public:
    constexpr Instance() = default;
    Instance(const Instance&) = delete;
    Instance& operator=(const Instance&) = delete;

    T& Get()
    {
        T* p = ptr_.load(std::memory_order_acquire);
        if (__builtin_expect(p != nullptr, 1))
            return *p;
        return Make();
    }

private:
    __attribute__((noinline)) T& Make()
    {
        static T value;
        ptr_.store(&value, std::memory_order_release);
        return value;
    }

    std::atomic<T*> ptr_{nullptr};
};

}  // namespace console
