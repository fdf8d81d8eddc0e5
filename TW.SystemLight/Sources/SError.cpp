#include "SError.h"

#include "SHandle.h"

namespace
{
// Both made before any thread starts: the process-wide record (the programs
// are built without thread-safe statics), and the thread-local slot of a
// helper thread's own record (SThreadError).
SError g_processRecord;
const DWORD g_threadRecordSlot = ::TlsAlloc();
} // namespace

SError& SError::Instance()
{
    DWORD lastError = ::GetLastError(); // which TlsGetValue clears
    SError* own = static_cast<SError*>(::TlsGetValue(g_threadRecordSlot));
    ::SetLastError(lastError);
    return own ? *own : g_processRecord;
}

void SThreadError::Bind() { ::TlsSetValue(g_threadRecordSlot, &m_record); }

void SThreadError::Unbind() { ::TlsSetValue(g_threadRecordSlot, NULL); }

void SThreadError::Raise() const
{
    SError::Instance() = m_record;
}

SError& SError::Set(const char* identifier, const char* /*sourceFile*/, int /*line*/)
{
    SError& record = Instance();
    record.m_identifier = SString::FromNarrow(identifier);
    record.m_messages.Clear();
    record.m_systemCode = 0;
    return record;
}

namespace
{
// The project's own words for codes that the system may have no text for
// (WinINet's certificate codes have none under some systems), so that no
// failure is reported without a reason.
SString OwnText(DWORD code)
{
    static const struct
    {
        DWORD code;
        const wchar_t* text;
    } texts[] = {
        {12002, L"The request timed out."},
        {12007, L"The server name could not be resolved."},
        {12029, L"The connection to the server failed."},
        {12030, L"The connection to the server was ended."},
        {12031, L"The connection to the server was reset."},
        {12037, L"The server's certificate has expired or is not valid yet."},
        {12038, L"The server's certificate is for another host name."},
        {12044, L"The server asks for a client certificate."},
        {12045, L"The server's certificate was not issued by a trusted authority."},
        {12057, L"The server's certificate could not be checked for revocation."},
        {12152, L"The server's response could not be read."},
        {12157, L"The secure channel could not be established."},
        {12169, L"The server's certificate is not valid."},
        {12175, L"The content could not be decoded."},
    };
    const wchar_t* text = code >= 12000 && code < 13000 ? L"An Internet error occurred." : L"An error occurred.";
    for (const auto& known : texts)
        if (known.code == code)
            text = known.text;
    return L"Error " + SString::FromInt(static_cast<int>(code)) + L": " + text;
}

SString SystemText(DWORD code)
{
    const DWORD language = MAKELANGID(LANG_NEUTRAL, SUBLANG_CUSTOM_DEFAULT);
    SLocalMem buffer;
    DWORD length = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, NULL, code,
                                    language, reinterpret_cast<LPWSTR>(buffer.Put()), 0, NULL);
    if (!length)
        length = ::FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                                  ::GetModuleHandleW(L"wininet.dll"), code, language,
                                  reinterpret_cast<LPWSTR>(buffer.Put()), 0, NULL);
    if (!length)
        return OwnText(code);
    return SString(static_cast<const wchar_t*>(buffer.Get()), static_cast<int>(length));
}
} // namespace

SError& SError::SetWithSystemText(const char* identifier, const char* sourceFile, int line)
{
    DWORD code = ::GetLastError();
    SError& record = Set(identifier, sourceFile, line);
    record.m_systemCode = code;
    if (code)
        record.Add(SystemText(code));
    return record;
}

SError& SError::Add(const SString& text)
{
    m_messages.Append(text);
    return *this;
}

SString SError::Text()
{
    const SError& record = Instance();
    SString text(record.m_identifier);
    for (int i = 0; i < record.m_messages.Count(); ++i)
    {
        text.Append(L"\n");
        text.Append(record.m_messages[i]);
    }
    return text;
}

const SString& SError::Identifier() { return Instance().m_identifier; }

const SStringList& SError::Messages() { return Instance().m_messages; }

DWORD SError::SystemCode() { return Instance().m_systemCode; }
