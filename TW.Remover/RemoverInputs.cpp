#include "RemoverInputs.h"

#include "Names.h"
#include "Remover.h"

#include "SError.h"
#include "SHandle.h"

#include <string.h>

#include <vector>

namespace
{
// An identifier of 64 characters takes 88 in Base64.
const int maxDeploymentUnits = 128;

HRESULT Refuse(const char* identifier, const SString& path, const wchar_t* why)
{
    SERROR_SET(identifier).Add(path).Add(why);
    return E_FAIL;
}

bool IsBase64Digit(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || (c >= L'0' && c <= L'9') || c == L'+' || c == L'/';
}

// Whole groups of four, padding only at the end: what DecodeBase64 takes
// without guessing.
bool IsStrictBase64(const SString& text)
{
    int length = text.Length();
    if (length == 0 || length % 4 != 0)
        return false;
    int padding = text[length - 1] == L'=' ? (text[length - 2] == L'=' ? 2 : 1) : 0;
    for (int i = 0; i < length - padding; ++i)
        if (!IsBase64Digit(text[i]))
            return false;
    return true;
}

DWORD ReadLength(const BYTE* bytes)
{
    DWORD value = 0;
    memcpy(&value, bytes, 4);
    return value;
}
} // namespace

HRESULT ReadInputFile(Remover& engine, const SString& path, DWORD maxBytes, const char* failure,
                      std::vector<BYTE>& bytes)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL));
    LARGE_INTEGER size = {};
    if (!file.IsValid() || !::GetFileSizeEx(file.Get(), &size))
    {
        SERROR_SET_SYSTEM(failure).Add(path);
        return E_FAIL;
    }
    if (size.QuadPart > maxBytes)
        return Refuse(failure, path, L"The file is larger than any that the setup program writes.");
    std::vector<BYTE> read(static_cast<size_t>(size.QuadPart) + 1); // one more, so that &read[0] is valid
    S_RETURN_IF_FAILED(engine.SafeRead(file.Get(), &read[0], static_cast<DWORD>(size.QuadPart)));
    read.pop_back();
    bytes.swap(read);
    return S_OK;
}

HRESULT ParseDeployment(const BYTE* bytes, DWORD size, const SString& path, SString& deploymentId)
{
    SString text;
    for (DWORD offset = 0; offset + 1 < size; offset += 2)
    {
        wchar_t unit = static_cast<wchar_t>(bytes[offset] | (bytes[offset + 1] << 8));
        if (!unit)
            break;
        if (text.Length() == maxDeploymentUnits)
            return Refuse("Uninstall.Deployment", path, L"The deployment identifier is too long.");
        text.Append(&unit, 1);
    }
    if (!IsStrictBase64(text))
        return Refuse("Uninstall.Deployment", path, L"The file holds no deployment identifier in Base64.");
    SString decoded;
    text.DecodeBase64(decoded);
    if (!IsValidDeploymentId(decoded) && !IsDeploymentPlaceholder(decoded))
        return Refuse("Uninstall.Deployment", path,
                      L"A deployment identifier is made of letters, digits, \".\", \"-\" and \"_\".");
    deploymentId = decoded;
    return S_OK;
}

HRESULT ParseActions(const BYTE* bytes, DWORD size, const SString& path, SStringList& actions)
{
    if (size < 4)
        return Refuse("Uninstall.Damaged", path, L"The file ends before the number of actions.");
    int count = static_cast<int>(ReadLength(bytes));
    DWORD offset = 4;
    if (count > 0 && static_cast<DWORD>(count) > (size - offset) / 4)
        return Refuse("Uninstall.Damaged", path, L"The file cannot hold the number of actions it announces.");
    SStringList read;
    for (int i = 0; i < count; ++i)
    {
        if (size - offset < 4)
            return Refuse("Uninstall.Damaged", path, L"The file ends inside an action.");
        DWORD length = ReadLength(bytes + offset);
        offset += 4;
        if (length > maxActionUnits)
            return Refuse("Uninstall.Damaged", path, L"An action is longer than 4095 characters.");
        if ((size - offset) / 2 < length)
            return Refuse("Uninstall.Damaged", path, L"The file ends inside an action.");
        std::vector<wchar_t> text(length + 1);
        memcpy(&text[0], bytes + offset, length * 2);
        offset += length * 2;
        read.Append(SString(&text[0], static_cast<int>(length)));
    }
    if (offset != size)
        return Refuse("Uninstall.Damaged", path, L"The file goes on after its last action.");
    actions = read;
    return S_OK;
}
