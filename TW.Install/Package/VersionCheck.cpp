#include "VersionCheck.h"

bool ParseVersion(const SString& text, DWORD (&numbers)[4])
{
    int count = 0;
    int digits = 0;
    numbers[0] = numbers[1] = numbers[2] = numbers[3] = 0;
    for (int i = 0; i < text.Length(); ++i)
    {
        wchar_t c = text[i];
        if (c == L'.' && digits && count < 3)
        {
            ++count;
            digits = 0;
        }
        else if (c >= L'0' && c <= L'9' && digits < 5)
        {
            numbers[count] = numbers[count] * 10 + (c - L'0');
            ++digits;
        }
        else
            return false;
    }
    return digits != 0;
}

int CompareVersions(const SString& a, const SString& b)
{
    DWORD left[4], right[4];
    ParseVersion(a, left);
    ParseVersion(b, right);
    for (int i = 0; i < 4; ++i)
        if (left[i] != right[i])
            return left[i] < right[i] ? -1 : 1;
    return 0;
}

InstallKind ClassifyInstall(bool entryExists, const SString& installed, const SString& packaged)
{
    DWORD numbers[4];
    if (!ParseVersion(packaged, numbers))
        return NotAVersion;
    if (!entryExists)
        return FreshInstall;
    if (!ParseVersion(installed, numbers))
        return Upgrade;
    int order = CompareVersions(packaged, installed);
    return order == 0 ? Repair : order > 0 ? Upgrade : Downgrade;
}

const wchar_t* InstallKindName(InstallKind kind)
{
    static const wchar_t* const names[] = {L"fresh install", L"repair", L"upgrade", L"downgrade",
                                                    L"not a version"};
    return names[kind];
}
