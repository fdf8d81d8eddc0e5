#pragma once
// SString: owned UTF-16 text in an exact-size block. No block means empty;
// every block is wiped before it is freed, whatever it carried.
#include <windows.h>

class SStringList;

class SString
{
public:
    SString() : m_p(NULL) {}
    SString(const wchar_t* text);
    SString(const wchar_t* text, int count);
    SString(const SString& other);
    SString(SString&& other) : m_p(other.m_p) { other.m_p = NULL; }
    ~SString();

    SString& operator=(const SString& other);
    SString& operator=(SString&& other);
    SString& operator=(const wchar_t* text);

    // Widens 8-bit text through the OEM code page; always allocates a block.
    static SString FromNarrow(const char* text);
    // Decimal digits of a non-negative value.
    static SString FromInt(int value);
    // All of 0 to 4294967295, such as byte counts of 2 GiB and more.
    static SString FromUnsigned(unsigned value);

    int Length() const;
    bool IsEmpty() const { return m_p == NULL; }
    // Never null: a string without a block gives a static empty text.
    const wchar_t* CStr() const;
    // The block itself, null when empty, for calls that take null for "absent".
    const wchar_t* Data() const { return m_p; }
    wchar_t operator[](int index) const { return m_p[index]; }

    bool operator==(const SString& other) const;
    bool operator==(const wchar_t* text) const;
    bool operator!=(const SString& other) const { return !(*this == other); }
    bool operator!=(const wchar_t* text) const { return !(*this == text); }
    bool operator<(const SString& other) const;

    bool StartsWith(const wchar_t* prefix) const;
    bool EndsWith(const wchar_t* suffix) const;
    int Find(wchar_t unit) const;
    int Find(const wchar_t* text) const;
    int ReverseFind(wchar_t unit) const;
    SString Mid(int start, int count = -1) const;
    // Appends the pieces to the list (the list is not cleared).
    void Split(wchar_t separator, SStringList& pieces) const;
    SStringList Split(wchar_t separator) const;
    // Replaces every occurrence; `with` must not contain `find`.
    void Replace(const wchar_t* find, const wchar_t* with);
    void ReplaceChar(wchar_t from, wchar_t to);
    void Append(const wchar_t* text);
    void Append(const wchar_t* text, int count);
    void Append(const SString& text) { Append(text.Data(), text.Length()); }
    SString operator+(const SString& other) const;
    SString operator+(const wchar_t* text) const;
    SString& operator+=(const SString& other)
    {
        Append(other);
        return *this;
    }
    SString& operator+=(const wchar_t* text)
    {
        Append(text);
        return *this;
    }
    int ToInt() const;
    // Writes zero-terminated UTF-8, cut at a character boundary when the
    // buffer is too small. Returns 0.
    int ToUTF8(char* buffer, int size) const;
    // Decodes this Base64 text and appends one unit per decoded byte.
    // Characters outside the alphabet count as 0, an incomplete last group
    // is ignored and a decoded zero byte ends the output. Returns 0.
    int DecodeBase64(SString& out) const;

private:
    void Free();
    void Adopt(wchar_t* block) { Free(); m_p = block; }

    wchar_t* m_p;
};

SString operator+(const wchar_t* left, const SString& right);

class SStringList
{
public:
    SStringList() : m_count(0), m_capacity(0), m_items(NULL) {}
    SStringList(const SStringList& other);
    SStringList(SStringList&& other);
    SStringList& operator=(const SStringList& other);
    ~SStringList();

    void Append(const SString& text);
    // True when an item is exactly the text.
    bool Contains(const SString& text) const;
    // Appends the text unless an item is exactly it.
    void AppendOnce(const SString& text);
    int Count() const { return m_count; }
    const SString& operator[](int index) const { return m_items[index]; }
    SString& operator[](int index) { return m_items[index]; }
    void Clear();

private:
    void Reserve(int needed);

    int m_count;
    unsigned m_capacity;
    SString* m_items;
};

// Ends the process when memory runs out; callers never see a null block.
void* SAllocate(size_t bytes);
void* SReallocate(void* block, size_t bytes);
