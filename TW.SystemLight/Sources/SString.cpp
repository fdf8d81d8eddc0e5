#include "SString.h"

#include "SOutOfMemory.h"

#include <stdlib.h>
#include <string.h>

namespace
{
const wchar_t g_emptyText[1] = {0};

int TextLength(const wchar_t* text)
{
    return text ? static_cast<int>(wcslen(text)) : 0;
}

wchar_t* NewBlock(int units)
{
    return static_cast<wchar_t*>(SAllocate((static_cast<size_t>(units) + 1) * sizeof(wchar_t)));
}

wchar_t* CopyBlock(const wchar_t* text, int count)
{
    if (!text || count <= 0)
        return NULL;
    wchar_t* block = NewBlock(count);
    memcpy(block, text, count * sizeof(wchar_t));
    block[count] = 0;
    return block;
}
} // namespace

void* SAllocate(size_t bytes)
{
    void* block = malloc(bytes ? bytes : 1);
    if (!block)
        SEndOutOfMemory();
    return block;
}

void* SReallocate(void* block, size_t bytes)
{
    void* grown = realloc(block, bytes ? bytes : 1);
    if (!grown)
        SEndOutOfMemory();
    return grown;
}

SString::SString(const wchar_t* text) : m_p(CopyBlock(text, TextLength(text))) {}

SString::SString(const wchar_t* text, int count) : m_p(CopyBlock(text, count)) {}

SString::SString(const SString& other) : m_p(CopyBlock(other.m_p, other.Length())) {}

SString::~SString() { Free(); }

void SString::Free()
{
    if (!m_p)
        return;
    for (wchar_t* unit = m_p; *unit; ++unit)
        *unit = 0;
    free(m_p);
    m_p = NULL;
}

SString& SString::operator=(const SString& other)
{
    if (this != &other)
        Adopt(CopyBlock(other.m_p, other.Length()));
    return *this;
}

SString& SString::operator=(SString&& other)
{
    if (this != &other)
    {
        Adopt(other.m_p);
        other.m_p = NULL;
    }
    return *this;
}

SString& SString::operator=(const wchar_t* text)
{
    if (text != m_p)
        Adopt(CopyBlock(text, TextLength(text)));
    return *this;
}

SString SString::FromNarrow(const char* text)
{
    SString result;
    const char* source = text ? text : "";
    int units = ::MultiByteToWideChar(CP_OEMCP, 0, source, -1, NULL, 0);
    if (units < 1)
        units = 1;
    result.m_p = NewBlock(units);
    result.m_p[0] = 0;
    ::MultiByteToWideChar(CP_OEMCP, 0, source, -1, result.m_p, units);
    result.m_p[units - 1] = 0;
    return result;
}

SString SString::FromInt(int value)
{
    SString digits = FromUnsigned(value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value));
    return value < 0 ? L"-" + digits : digits;
}

SString SString::FromUnsigned(unsigned value)
{
    wchar_t digits[16];
    int position = 15;
    digits[position] = 0;
    do
    {
        digits[--position] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    return SString(digits + position);
}

int SString::Length() const { return TextLength(m_p); }

const wchar_t* SString::CStr() const { return m_p ? m_p : g_emptyText; }

bool SString::operator==(const SString& other) const
{
    return *this == other.m_p;
}

bool SString::operator==(const wchar_t* text) const
{
    if (!text || !*text)
        return m_p == NULL;
    if (!m_p)
        return false;
    return wcscmp(m_p, text) == 0;
}

bool SString::operator<(const SString& other) const
{
    const wchar_t* a = CStr();
    const wchar_t* b = other.CStr();
    while (*a && *a == *b)
    {
        ++a;
        ++b;
    }
    return static_cast<unsigned short>(*a) < static_cast<unsigned short>(*b);
}

bool SString::StartsWith(const wchar_t* prefix) const
{
    if (!prefix || !*prefix)
        return true;
    if (!m_p)
        return false;
    return wcsncmp(m_p, prefix, wcslen(prefix)) == 0;
}

bool SString::EndsWith(const wchar_t* suffix) const
{
    int length = Length();
    int suffixLength = TextLength(suffix);
    return suffixLength <= length && wcscmp(CStr() + length - suffixLength, suffix ? suffix : L"") == 0;
}

int SString::Find(wchar_t unit) const
{
    const wchar_t* hit = m_p ? wcschr(m_p, unit) : NULL;
    return hit && unit ? static_cast<int>(hit - m_p) : -1;
}

int SString::Find(const wchar_t* text) const
{
    if (!text || !*text || !m_p)
        return -1;
    const wchar_t* hit = wcsstr(m_p, text);
    return hit ? static_cast<int>(hit - m_p) : -1;
}

int SString::ReverseFind(wchar_t unit) const
{
    const wchar_t* hit = m_p && unit ? wcsrchr(m_p, unit) : NULL;
    return hit ? static_cast<int>(hit - m_p) : -1;
}

SString SString::Mid(int start, int count) const
{
    int length = Length();
    if (start < 0 || start >= length)
        return SString();
    if (count < 0 || count > length - start)
        count = length - start;
    return SString(m_p + start, count);
}

void SString::Split(wchar_t separator, SStringList& pieces) const
{
    if (!m_p)
        return;
    int cut = 0;
    int index = 0;
    for (; m_p[index]; ++index)
    {
        if (m_p[index] == separator)
        {
            pieces.Append(SString(m_p + cut, index - cut));
            cut = index + 1;
        }
    }
    pieces.Append(SString(m_p + cut, index - cut));
}

SStringList SString::Split(wchar_t separator) const
{
    SStringList pieces;
    Split(separator, pieces);
    return pieces;
}

void SString::Replace(const wchar_t* find, const wchar_t* with)
{
    int findLength = TextLength(find);
    for (int hit = Find(find); hit >= 0; hit = Find(find))
    {
        SString rebuilt(m_p, hit);
        rebuilt.Append(with);
        rebuilt.Append(m_p + hit + findLength);
        *this = static_cast<SString&&>(rebuilt);
    }
}

void SString::ReplaceChar(wchar_t from, wchar_t to)
{
    if (!m_p)
        return;
    for (wchar_t* unit = m_p; *unit; ++unit)
    {
        if (*unit == from)
        {
            *unit = to;
            if (!to)
                return;
        }
    }
}

void SString::Append(const wchar_t* text) { Append(text, TextLength(text)); }

void SString::Append(const wchar_t* text, int count)
{
    if (!text || count <= 0)
        return;
    int length = Length();
    m_p = static_cast<wchar_t*>(SReallocate(m_p, (static_cast<size_t>(length) + count + 1) * sizeof(wchar_t)));
    memcpy(m_p + length, text, count * sizeof(wchar_t));
    m_p[length + count] = 0;
}

SString SString::operator+(const SString& other) const
{
    SString result(*this);
    result.Append(other);
    return result;
}

SString SString::operator+(const wchar_t* text) const
{
    SString result(*this);
    result.Append(text);
    return result;
}

SString operator+(const wchar_t* left, const SString& right)
{
    SString result(left);
    result.Append(right);
    return result;
}

int SString::ToInt() const
{
    const wchar_t* unit = CStr();
    int sign = 1;
    if (*unit == L'-' || *unit == L'+')
        sign = *unit++ == L'-' ? -1 : 1;
    unsigned value = 0;
    for (; *unit; ++unit)
        value = value * 10 + static_cast<unsigned>(*unit - L'0');
    return static_cast<int>(value * static_cast<unsigned>(sign));
}

int SString::ToUTF8(char* buffer, int size) const
{
    if (!buffer || size <= 0)
        return 0;
    int written = 0;
    for (const wchar_t* unit = CStr(); *unit; ++unit)
    {
        unsigned code = static_cast<unsigned short>(*unit);
        int needed = code < 0x80 ? 1 : code < 0x800 ? 2 : 3;
        if (size - written < needed + 1)
            break;
        if (needed == 1)
            buffer[written++] = static_cast<char>(code);
        else if (needed == 2)
        {
            buffer[written++] = static_cast<char>(0xC0 | (code >> 6));
            buffer[written++] = static_cast<char>(0x80 | (code & 0x3F));
        }
        else
        {
            buffer[written++] = static_cast<char>(0xE0 | (code >> 12));
            buffer[written++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            buffer[written++] = static_cast<char>(0x80 | (code & 0x3F));
        }
    }
    buffer[written] = 0;
    return 0;
}

namespace
{
const char g_base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

unsigned char Base64Value(unsigned char character)
{
    static unsigned char reverse[128];
    static bool built = false;
    if (!built)
    {
        for (int i = 0; i < 64; ++i)
            reverse[static_cast<unsigned char>(g_base64Alphabet[i])] = static_cast<unsigned char>(i);
        built = true;
    }
    return character < 128 ? reverse[character] : 0;
}
} // namespace

int SString::DecodeBase64(SString& out) const
{
    char text[4096];
    ToUTF8(text, sizeof(text));
    size_t length = strlen(text);
    for (size_t group = 0; group + 4 <= length; group += 4)
    {
        const unsigned char* c = reinterpret_cast<const unsigned char*>(text + group);
        unsigned char v[4];
        for (int i = 0; i < 4; ++i)
            v[i] = Base64Value(c[i]);
        wchar_t bytes[3] = {
            static_cast<wchar_t>(static_cast<unsigned char>((v[0] << 2) | (v[1] >> 4))),
            static_cast<wchar_t>(static_cast<unsigned char>(((v[1] & 0x0F) << 4) | (v[2] >> 2))),
            static_cast<wchar_t>(static_cast<unsigned char>(((v[2] & 0x03) << 6) | v[3]))};
        int count = c[2] == '=' ? 1 : c[3] == '=' ? 2 : 3;
        for (int i = 0; i < count; ++i)
        {
            if (!bytes[i])
                return 0;
            out.Append(&bytes[i], 1);
        }
        if (count < 3)
            return 0;
    }
    return 0;
}

SStringList::SStringList(const SStringList& other) : m_count(0), m_capacity(0), m_items(NULL)
{
    for (int i = 0; i < other.m_count; ++i)
        Append(other.m_items[i]);
}

SStringList::SStringList(SStringList&& other)
    : m_count(other.m_count), m_capacity(other.m_capacity), m_items(other.m_items)
{
    other.m_count = 0;
    other.m_capacity = 0;
    other.m_items = NULL;
}

SStringList& SStringList::operator=(const SStringList& other)
{
    if (this != &other)
    {
        Clear();
        for (int i = 0; i < other.m_count; ++i)
            Append(other.m_items[i]);
    }
    return *this;
}

SStringList::~SStringList() { Clear(); }

void SStringList::Clear()
{
    delete[] m_items;
    m_items = NULL;
    m_count = 0;
    m_capacity = 0;
}

void SStringList::Reserve(int needed)
{
    if (static_cast<unsigned>(needed) <= m_capacity)
        return;
    unsigned capacity = m_capacity ? m_capacity : (needed > 32 ? needed : 32);
    while (capacity < static_cast<unsigned>(needed))
        capacity *= 2;
    SString* items = new SString[capacity];
    for (int i = 0; i < m_count; ++i)
        items[i] = m_items[i];
    delete[] m_items;
    m_items = items;
    m_capacity = capacity;
}

void SStringList::Append(const SString& text)
{
    Reserve(m_count + 1);
    m_items[m_count++] = text;
}

bool SStringList::Contains(const SString& text) const
{
    for (int i = 0; i < m_count; ++i)
        if (m_items[i] == text)
            return true;
    return false;
}

void SStringList::AppendOnce(const SString& text)
{
    if (!Contains(text))
        Append(text);
}
