#include "AgentFiles.h"

#include "SError.h"
#include "SHandle.h"

std::string Ascii(const SString& text)
{
    std::string ascii;
    for (int i = 0; i < text.Length(); ++i)
        ascii += text[i] < 0x7F ? static_cast<char>(text[i]) : '?';
    return ascii;
}

HRESULT WriteWholeFile(const SString& path, const std::string& bytes, const char* failure)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    DWORD written = 0;
    if (file.IsValid() && ::WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL) &&
        written == bytes.size())
        return S_OK;
    SERROR_SET_SYSTEM(failure).Add(path);
    return E_FAIL;
}
