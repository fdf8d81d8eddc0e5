#pragma once
// The process-wide record of the last failure: a dotted identifier
// ("CreateDir.CreateDirectory") and message lines. The raising site fills it;
// callers pass E_FAIL up without touching it.
#include "SString.h"

class SError
{
public:
    // Stores the identifier and empties the message list.
    static SError& Set(const char* identifier, const char* sourceFile, int line);
    // As Set, then adds the system text for the thread's last error code
    // (read before anything else can change it). Code 0 adds nothing.
    static SError& SetWithSystemText(const char* identifier, const char* sourceFile, int line);
    SError& Add(const SString& text);
    SError& Add(const wchar_t* text) { return Add(SString(text)); }
    // Adds a line to the recorded failure, for a caller that knows more of
    // its circumstances (how often it was tried); the identifier stays.
    static void AddContext(const SString& text) { Instance().Add(text); }
    // Identifier, then "\n" and each message.
    static SString Text();
    static const SString& Identifier();
    static const SStringList& Messages();
    // The system's code that SetWithSystemText recorded; 0 after Set.
    static DWORD SystemCode();

private:
    friend class SErrorKeeper;
    friend class SThreadError;
    static SError& Instance();

    SStringList m_messages;
    SString m_identifier;
    DWORD m_systemCode = 0;
};

// Keeps the recorded failure across clean-up work that may record its own:
// the caller still learns why the work failed.
class SErrorKeeper
{
public:
    SErrorKeeper() : m_saved(SError::Instance()) {}
    ~SErrorKeeper() { SError::Instance() = m_saved; }
    SErrorKeeper(const SErrorKeeper&) = delete;
    SErrorKeeper& operator=(const SErrorKeeper&) = delete;

private:
    SError m_saved;
};

// The record of a helper thread: between Bind and Unbind, called on the
// helper, what it records goes here; the thread that owns the work hands it
// on with Raise once it has seen the failure. The process-wide record is so
// only ever written by one thread at a time.
class SThreadError
{
public:
    SThreadError() {}
    SThreadError(const SThreadError&) = delete;
    SThreadError& operator=(const SThreadError&) = delete;
    void Bind();
    void Unbind();
    // On the owning thread: the helper's record becomes the process-wide one.
    void Raise() const;

private:
    SError m_record;
};

#define SERROR_SET(identifier) SError::Set(identifier, __FILE__, __LINE__)
#define SERROR_SET_SYSTEM(identifier) SError::SetWithSystemText(identifier, __FILE__, __LINE__)
// Passes a failure up untouched.
#define S_RETURN_IF_FAILED(call)      \
    do                                \
    {                                 \
        if ((call) != S_OK)           \
            return E_FAIL;            \
    } while (0)
