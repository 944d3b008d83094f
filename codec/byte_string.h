// The codec's byte string: an owned, growable run of bytes with a length.
// Growing it leaves the new bytes as they are instead of zero-filling them,
// since the codec writes every byte it adds; on megabyte messages the fill
// would be a whole extra pass.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

template <class T>
struct uninitialised_allocator : std::allocator<T> {
    using value_type = T;

    template <class U>
    struct rebind {
        using other = uninitialised_allocator<U>;
    };

    uninitialised_allocator() noexcept = default;
    template <class U>
    uninitialised_allocator(const uninitialised_allocator<U>&) noexcept {}

    // Default-initialise where the vector would value-initialise.
    template <class U>
    void construct(U* place) noexcept {
        ::new (static_cast<void*>(place)) U;
    }
    template <class U, class... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }
};

using byte_string = std::vector<std::uint8_t, uninitialised_allocator<std::uint8_t>>;
