// Nothing in these programs throws, so a terminate has no exception to name.
// Replacing the library's verbose handler keeps its demangler out of the
// programs (about 75 KB of a download that every user makes).
#include <stdlib.h>

namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    abort();
}
} // namespace __gnu_cxx
