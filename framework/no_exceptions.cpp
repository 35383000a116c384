// Linked into the dialog program only, which is built without C++ exceptions: its code
// reports every failure as a result value. What can still fail inside the standard
// library is allocation, and std::string's checks of positions and lengths, which the
// program's short names and paths never fail. libstdc++'s versions of these functions
// throw, and linking them brings in the exception machinery (unwinder, type information,
// the standard exception classes and their strings): over half of the program. These end
// the program instead, which is all an uncaught throw could lead to here. The one
// allocation a user's file can make fail, the material table's, is checked where it
// happens and never comes here; anything else failing leaves the program no memory to
// go on with.
#include <cstddef>
#include <cstdlib>
#include <new>
#include <string>

void* operator new(std::size_t size)
{
    // malloc(0) may return null; new must not.
    if (void* p = std::malloc(size ? size : 1))
        return p;
    std::abort();
}

void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return std::malloc(size ? size : 1);
}

void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

// The standard library's error functions that the program's code refers to; libstdc++
// lets a program built without exceptions define its own (it calls them from its headers).
namespace std {

void __throw_bad_alloc()
{
    std::abort();
}

void __throw_length_error(const char*)
{
    std::abort();
}

void __throw_logic_error(const char*)
{
    std::abort();
}

void __throw_out_of_range_fmt(const char*, ...)
{
    std::abort();
}

// The material table's update operation takes a std::function; the program never calls
// it, but its object file is linked all the same.
void __throw_bad_function_call()
{
    std::abort();
}

}  // namespace std
