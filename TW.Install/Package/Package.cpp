#include "Package.h"

#include "SError.h"

#include <string.h>

DWORD InstallPackage::TotalSize() const
{
    DWORD total = 0;
    for (size_t i = 0; i < compressedEntries.size(); ++i)
        total += compressedEntries[i].uncompressedSize;
    for (size_t i = 0; i < cacheEntries.size(); ++i)
        total += cacheEntries[i].size;
    for (size_t i = 0; i < downloadSizes.size(); ++i)
        total += static_cast<DWORD>(downloadSizes[i]);
    return total;
}

namespace
{
// The value a per-target keyword gives for the target (the last one given).
SString ValueFor(const SStringList& targets, const SStringList& values, const SString& target)
{
    for (int i = targets.Count(); i-- > 0;)
    {
        if (targets[i] == target)
            return values[i];
    }
    return SString();
}
} // namespace

SString InstallPackage::DownloadDigest(const SString& target) const { return ValueFor(digestTargets, digests, target); }

SString InstallPackage::BlocksDigest(const SString& target) const
{
    return ValueFor(blocksTargets, blocksDigests, target);
}

namespace
{
// A read position that refuses to move past the end of the block.
class PackageCursor
{
public:
    PackageCursor(const BYTE* data, DWORD size) : m_data(data), m_size(size), m_offset(0) {}

    HRESULT ReadNumber(DWORD& value)
    {
        S_RETURN_IF_FAILED(Require(4, L"number"));
        memcpy(&value, m_data + m_offset, 4);
        m_offset += 4;
        return S_OK;
    }

    HRESULT ReadString(SString& text)
    {
        for (DWORD end = m_offset; end + 1 < m_size; end += 2)
        {
            if (m_data[end] == 0 && m_data[end + 1] == 0)
            {
                text = TakeString(end);
                return S_OK;
            }
        }
        return Truncated(L"string");
    }

    HRESULT Skip(DWORD bytes, const BYTE*& start)
    {
        S_RETURN_IF_FAILED(Require(bytes, L"entry bytes"));
        start = m_data + m_offset;
        m_offset += bytes;
        return S_OK;
    }

private:
    SString TakeString(DWORD end)
    {
        int units = static_cast<int>((end - m_offset) / 2);
        SString text;
        if (units)
        {
            // The block may be unaligned, so the units are copied out first.
            std::vector<wchar_t> copy(units);
            memcpy(&copy[0], m_data + m_offset, units * 2);
            text = SString(&copy[0], units);
        }
        m_offset = end + 2;
        return text;
    }

    HRESULT Require(DWORD bytes, const wchar_t* what)
    {
        if (bytes > m_size - m_offset)
            return Truncated(what);
        return S_OK;
    }

    HRESULT Truncated(const wchar_t* what)
    {
        SERROR_SET("ReadPackage.Truncated")
            .Add(SString(L"The install package ends inside a ") + what + L".")
            .Add(SString(L"Offset ") + SString::FromInt(static_cast<int>(m_offset)) + L" of " +
                 SString::FromInt(static_cast<int>(m_size)) + L" bytes.");
        return E_FAIL;
    }

    const BYTE* m_data;
    DWORD m_size;
    DWORD m_offset;
};

HRESULT ReadCompressedEntries(PackageCursor& cursor, InstallPackage& package)
{
    DWORD count = 0;
    S_RETURN_IF_FAILED(cursor.ReadNumber(count));
    for (DWORD i = 0; i < count; ++i)
    {
        PackageEntry entry;
        const BYTE* block = NULL;
        S_RETURN_IF_FAILED(cursor.ReadString(entry.name));
        S_RETURN_IF_FAILED(cursor.ReadNumber(entry.blockLength));
        S_RETURN_IF_FAILED(cursor.Skip(entry.blockLength, block));
        if (entry.blockLength < 4)
        {
            SERROR_SET("ReadPackage.BlockLength").Add(entry.name);
            return E_FAIL;
        }
        memcpy(&entry.uncompressedSize, block, 4);
        entry.stream = block + 4;
        package.compressedEntries.push_back(entry);
    }
    return S_OK;
}

HRESULT ReadStoredEntries(PackageCursor& cursor, std::vector<StoredEntry>& entries)
{
    DWORD count = 0;
    S_RETURN_IF_FAILED(cursor.ReadNumber(count));
    for (DWORD i = 0; i < count; ++i)
    {
        StoredEntry entry;
        S_RETURN_IF_FAILED(cursor.ReadString(entry.name));
        S_RETURN_IF_FAILED(cursor.ReadNumber(entry.size));
        S_RETURN_IF_FAILED(cursor.Skip(entry.size, entry.bytes));
        entries.push_back(entry);
    }
    return S_OK;
}

HRESULT ReadDescription(PackageCursor& cursor, SStringList& strings)
{
    for (;;)
    {
        SString text;
        S_RETURN_IF_FAILED(cursor.ReadString(text));
        if (text.IsEmpty())
            return S_OK;
        strings.Append(text);
    }
}

enum KeywordKind
{
    FlagKeyword,
    ValueKeyword,
    ListKeyword,
    DownloadKeyword,
    PairKeyword,  // a target and its value, into two lists
    TripleKeyword // three values, into three lists
};

struct Keyword
{
    const wchar_t* text;
    KeywordKind kind;
    bool InstallPackage::*flag;
    SString InstallPackage::*value;
    SStringList InstallPackage::*list;
    SStringList InstallPackage::*values;
    SStringList InstallPackage::*thirds;
};

const Keyword g_keywords[] = {
    {L"usage-application", FlagKeyword, &InstallPackage::usageApplication, NULL, NULL, NULL, NULL},
    {L"usage-plugin", FlagKeyword, &InstallPackage::usagePlugin, NULL, NULL, NULL, NULL},
    {L"admin", FlagKeyword, &InstallPackage::admin, NULL, NULL, NULL, NULL},
    {L"target-program", ValueKeyword, NULL, &InstallPackage::targetProgram, NULL, NULL, NULL},
    {L"target-data", ValueKeyword, NULL, &InstallPackage::targetData, NULL, NULL, NULL},
    {L"register-cookie", ValueKeyword, NULL, &InstallPackage::registerCookie, NULL, NULL, NULL},
    {L"unregister-cookie", ValueKeyword, NULL, &InstallPackage::unregisterCookie, NULL, NULL, NULL},
    {L"version", ValueKeyword, NULL, &InstallPackage::version, NULL, NULL, NULL},
    {L"register-uri", ListKeyword, NULL, NULL, &InstallPackage::uriSchemes, NULL, NULL},
    {L"download", DownloadKeyword, NULL, NULL, NULL, NULL, NULL},
    {L"download-sha256", PairKeyword, NULL, NULL, &InstallPackage::digestTargets, &InstallPackage::digests, NULL},
    {L"download-blocks", PairKeyword, NULL, NULL, &InstallPackage::blocksTargets, &InstallPackage::blocksDigests, NULL},
    {L"register-extension", TripleKeyword, NULL, NULL, &InstallPackage::fileExtensions, &InstallPackage::fileProgIds,
     &InstallPackage::fileDescriptions},
};

int ArgumentCount(KeywordKind kind)
{
    return kind == FlagKeyword                                     ? 0
           : kind == DownloadKeyword || kind == TripleKeyword ? 3
           : kind == PairKeyword                              ? 2
                                                              : 1;
}

// Applies one keyword at index i; returns how many strings it consumed.
int ApplyKeyword(const SStringList& strings, int i, InstallPackage& package)
{
    for (size_t k = 0; k < sizeof(g_keywords) / sizeof(g_keywords[0]); ++k)
    {
        const Keyword& keyword = g_keywords[k];
        if (strings[i] != keyword.text)
            continue;
        int arguments = ArgumentCount(keyword.kind);
        if (i + arguments >= strings.Count())
            return 1;
        switch (keyword.kind)
        {
        case FlagKeyword:
            package.*keyword.flag = true;
            break;
        case ValueKeyword:
            package.*keyword.value = strings[i + 1];
            break;
        case ListKeyword:
            (package.*keyword.list).Append(strings[i + 1]);
            break;
        case DownloadKeyword:
            package.downloadTargets.Append(strings[i + 1]);
            package.downloadUrls.Append(strings[i + 2]);
            package.downloadSizes.push_back(strings[i + 3].ToInt());
            break;
        case PairKeyword:
            (package.*keyword.list).Append(strings[i + 1]);
            (package.*keyword.values).Append(strings[i + 2]);
            break;
        case TripleKeyword:
            (package.*keyword.list).Append(strings[i + 1]);
            (package.*keyword.values).Append(strings[i + 2]);
            (package.*keyword.thirds).Append(strings[i + 3]);
            break;
        }
        return 1 + arguments;
    }
    return 1;
}
} // namespace

void ScanDescription(const SStringList& strings, InstallPackage& package)
{
    for (int i = 0; i < strings.Count();)
        i += ApplyKeyword(strings, i, package);
}

HRESULT ParsePackage(const BYTE* data, DWORD size, InstallPackage& package)
{
    PackageCursor cursor(data, size);
    DWORD credentials = 0;
    S_RETURN_IF_FAILED(cursor.ReadNumber(credentials));
    if (credentials)
    {
        S_RETURN_IF_FAILED(cursor.ReadString(package.s3KeyId));
        S_RETURN_IF_FAILED(cursor.ReadString(package.s3Secret));
    }
    S_RETURN_IF_FAILED(ReadCompressedEntries(cursor, package));
    S_RETURN_IF_FAILED(ReadStoredEntries(cursor, package.cacheEntries));
    S_RETURN_IF_FAILED(ReadStoredEntries(cursor, package.dataFiles));
    for (size_t i = 0; i < package.dataFiles.size(); ++i)
        package.dataFiles[i].name.ReplaceChar(L'/', L'\\');
    SStringList description;
    S_RETURN_IF_FAILED(ReadDescription(cursor, description));
    ScanDescription(description, package);
    return S_OK;
}
