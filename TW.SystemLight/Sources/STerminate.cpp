// Nothing in these programs throws, and they are built without exceptions:
// what the C++ library would throw ends the program instead. Replacing the
// library's throwing helpers, its allocation operators and its verbose
// terminate handler keeps its exception machinery, unwinder and demangler
// out of the programs (about 75 KB of a download that every user makes).
#include "SOutOfMemory.h"

#include <stdlib.h>

#include <new>

namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    abort();
}
} // namespace __gnu_cxx

namespace std
{
void __throw_bad_alloc() { SEndOutOfMemory(); }
void __throw_bad_array_new_length() { abort(); }
void __throw_length_error(const char*) { abort(); }
void __throw_logic_error(const char*) { abort(); }
void __throw_out_of_range(const char*) { abort(); }
void __throw_out_of_range_fmt(const char*, ...) { abort(); }
void __throw_invalid_argument(const char*) { abort(); }
void __throw_bad_function_call() { abort(); }
} // namespace std

// Out of memory ends the program, as SAllocate does.
void* operator new(size_t size)
{
    void* block = malloc(size ? size : 1);
    if (!block)
        SEndOutOfMemory();
    return block;
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* block) noexcept { free(block); }
void operator delete[](void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete[](void* block, size_t) noexcept { free(block); }
