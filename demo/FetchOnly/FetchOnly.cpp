// The benchmark's "fetch only" program: the project's own HTTP client
// fetching one URL into memory, nothing else. Exit code 0 when the body came.
//   TW.FetchOnly <url>
#include "SError.h"
#include "SHandle.h"
#include "SHttpClient.h"

#include <stdio.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
    {
        fputs("usage: TW.FetchOnly <url>\n", stderr);
        return 2;
    }
    BYTE* received = NULL;
    DWORD size = 0;
    HRESULT result = OpenURL(argv[1], SStringList(), &received, &size, NULL, NULL);
    SMallocBytes body(received);
    if (result != S_OK)
    {
        fputws(SError::Text().CStr(), stderr);
        return 1;
    }
    printf("%lu bytes\n", static_cast<unsigned long>(size));
    return 0;
}
