// The control for the planted-library tests: a program without the library
// search restriction that loads each library named on its command line the
// ordinary way, as the programs did before they restricted the search.
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i)
        ::LoadLibraryW(argv[i]);
    return 0;
}
