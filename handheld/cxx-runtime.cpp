// What the C++ run-time library would supply to a program built without exceptions,
// RTTI or thread-safe statics, for the handheld's static build, which links no libstdc++:
// allocation over malloc, the guards of function-local statics, and the handles that
// static destructors and pure virtual calls refer to.
#include <cstddef>
#include <cstdlib>

// Without exceptions a failed allocation cannot throw; ending the program at once is what
// an uncaught std::bad_alloc would do.
static void *allocate(std::size_t n)
{
    if (void *p = std::malloc(n ? n : 1))
        return p;
    std::abort();
}

void *operator new(std::size_t n) { return allocate(n); }
void *operator new[](std::size_t n) { return allocate(n); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

extern "C" {

// Statics are built without thread-safe guards, but code compiled elsewhere may still ask:
// the first byte of the guard says whether the object is built.
int __cxa_guard_acquire(long long *guard) { return !*reinterpret_cast<char *>(guard); }
void __cxa_guard_release(long long *guard) { *reinterpret_cast<char *>(guard) = 1; }
void __cxa_guard_abort(long long *) {}

void __cxa_pure_virtual() { std::abort(); }

// Names this executable to __cxa_atexit; a shared object's start files would define it.
void *__dso_handle = &__dso_handle;
}
