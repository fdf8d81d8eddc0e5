#pragma once
// One owner per handle kind: each closes its handle on every path, cannot be
// copied, and moves. Put() closes the old value before handing out its slot.
#include <windows.h>
#include <wininet.h>
#include <objbase.h>
#include <bcrypt.h>
#include <stdlib.h>

template <typename Traits>
class SUnique
{
public:
    typedef typename Traits::Type Type;

    SUnique() : m_value(Traits::Invalid()) {}
    explicit SUnique(Type value) : m_value(value) {}
    ~SUnique() { Reset(); }
    SUnique(SUnique&& other) : m_value(other.Release()) {}
    SUnique& operator=(SUnique&& other)
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    SUnique(const SUnique&) = delete;
    SUnique& operator=(const SUnique&) = delete;

    Type Get() const { return m_value; }
    bool IsValid() const { return !Traits::IsInvalid(m_value); }
    Type Release()
    {
        Type value = m_value;
        m_value = Traits::Invalid();
        return value;
    }
    void Reset(Type value = Traits::Invalid())
    {
        if (!Traits::IsInvalid(m_value))
            Traits::Close(m_value);
        m_value = value;
    }
    Type* Put()
    {
        Reset();
        return &m_value;
    }

private:
    Type m_value;
};

struct SFileTraits
{
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsInvalid(Type h) { return h == INVALID_HANDLE_VALUE || h == NULL; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct SKernelHandleTraits
{
    typedef HANDLE Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL || h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct SFindTraits
{
    typedef HANDLE Type;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static bool IsInvalid(Type h) { return h == INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

// The predefined roots (HKEY_CURRENT_USER, ...) are never closed.
struct SKeyTraits
{
    typedef HKEY Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL || (reinterpret_cast<ULONG_PTR>(h) & 0x80000000) != 0; }
    static void Close(Type h) { ::RegCloseKey(h); }
};

struct SModuleTraits
{
    typedef HMODULE Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

struct SInternetTraits
{
    typedef HINTERNET Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::InternetCloseHandle(h); }
};

struct SLocalMemTraits
{
    typedef HLOCAL Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::LocalFree(h); }
};

struct SCoTaskMemTraits
{
    typedef void* Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::CoTaskMemFree(h); }
};

struct SMallocTraits
{
    typedef unsigned char* Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::free(h); }
};

struct SBcryptAlgorithmTraits
{
    typedef BCRYPT_ALG_HANDLE Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};

struct SBcryptKeyTraits
{
    typedef BCRYPT_KEY_HANDLE Type;
    static Type Invalid() { return NULL; }
    static bool IsInvalid(Type h) { return h == NULL; }
    static void Close(Type h) { ::BCryptDestroyKey(h); }
};

typedef SUnique<SFileTraits> SFile;
typedef SUnique<SKernelHandleTraits> SKernelHandle;
typedef SUnique<SFindTraits> SFind;
typedef SUnique<SKeyTraits> SKey;
typedef SUnique<SModuleTraits> SModule;
typedef SUnique<SInternetTraits> SInternet;
typedef SUnique<SLocalMemTraits> SLocalMem;
typedef SUnique<SCoTaskMemTraits> SCoTaskMem;
typedef SUnique<SBcryptAlgorithmTraits> SBcryptAlgorithm;
typedef SUnique<SBcryptKeyTraits> SBcryptKey;
// A byte block from malloc, as the download clients hand it over.
typedef SUnique<SMallocTraits> SMallocBytes;

template <typename T>
class SComPtr
{
public:
    SComPtr() : m_p(NULL) {}
    ~SComPtr() { Reset(); }
    SComPtr(const SComPtr&) = delete;
    SComPtr& operator=(const SComPtr&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    void Reset()
    {
        if (m_p)
            m_p->Release();
        m_p = NULL;
    }
    void** PutVoid()
    {
        Reset();
        return reinterpret_cast<void**>(&m_p);
    }

private:
    T* m_p;
};

// An export of a loaded library as the function type it is known to have.
template <typename Function>
Function SGetProc(HMODULE module, const char* name)
{
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
