#include "SNls.h"

#include <vector>

void ParseNLSText(const wchar_t* text, int units, SNlsTable& table)
{
    SString whole(text, units);
    SStringList lines = whole.Split(L'\n');
    for (int i = 0; i < lines.Count(); ++i)
    {
        SStringList parts = lines[i].Split(L'=');
        if (parts.Count() != 2)
            continue;
        SString value = parts[1];
        value.ReplaceChar(L'\r', 0);
        table[parts[0]] = SString(value.CStr());
    }
}

void LoadNLSVariant(HMODULE module, LANGID language, SNlsTable& table)
{
    HRSRC resource = ::FindResourceExW(module, L"NLS", L"NLS", language);
    if (!resource)
        return;
    DWORD bytes = ::SizeofResource(module, resource);
    HGLOBAL loaded = ::LoadResource(module, resource);
    const void* data = loaded ? ::LockResource(loaded) : NULL;
    if (data)
        ParseNLSText(static_cast<const wchar_t*>(data), static_cast<int>(bytes / 2), table);
}

SString GetNLS(const SString& key)
{
    static SNlsTable table;
    if (table.empty())
        LoadNLSVariant(::GetModuleHandleW(NULL), ::GetUserDefaultLangID(), table);
    SNlsTable::const_iterator entry = table.find(key);
    return entry == table.end() ? key : entry->second;
}

namespace
{
BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR found)
{
    reinterpret_cast<std::vector<LANGID>*>(found)->push_back(language);
    return TRUE;
}
} // namespace

LANGID NLSVariantLanguage(HMODULE module, LANGID language)
{
    std::vector<LANGID> variants;
    ::EnumResourceLanguagesW(module, L"NLS", L"NLS", CollectLanguage, reinterpret_cast<LONG_PTR>(&variants));
    for (LANGID candidate : {language, static_cast<LANGID>(PRIMARYLANGID(language))})
        for (LANGID variant : variants)
            if (variant == candidate)
                return variant;
    return 0;
}
