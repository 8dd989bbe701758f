#pragma once
// An allocator for large lists that are made and dropped again and again, such as the quick
// palette's at every typed letter: from kMapFrom bytes on a block is mapped from the system on
// its own and goes back to it when freed, so it never stays behind as a hole in the heaps of the
// threads that used it. The rest of the program keeps the allocator's own tuning.
#include <cstddef>
#include <cstdlib>
#include <vector>
#include <new>
#if defined(__unix__) || defined(__APPLE__)
#include <sys/mman.h>
#endif

template <class T>
class CMappedAllocator {
public:
    using value_type = T;
    static constexpr std::size_t kMapFrom = 128 * 1024;

    CMappedAllocator() = default;
    template <class U>
    CMappedAllocator(const CMappedAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        const std::size_t bytes = n * sizeof(T);
#if defined(__unix__) || defined(__APPLE__)
        if (bytes >= kMapFrom) {
            void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p == MAP_FAILED) throw std::bad_alloc();
            return static_cast<T*>(p);
        }
#endif
        if (void* p = std::malloc(bytes ? bytes : 1)) return static_cast<T*>(p);
        throw std::bad_alloc();
    }
    void deallocate(T* p, std::size_t n) noexcept {
#if defined(__unix__) || defined(__APPLE__)
        if (n * sizeof(T) >= kMapFrom) {
            munmap(p, n * sizeof(T));
            return;
        }
#endif
        std::free(p);
    }
    template <class U>
    bool operator==(const CMappedAllocator<U>&) const noexcept {
        return true;
    }
};

// A vector whose large blocks are mapped: see CMappedAllocator.
template <class T>
using CMappedVector = std::vector<T, CMappedAllocator<T>>;
