#include "SError.h"

#include "SHandle.h"

SError& SError::Instance()
{
    static SError record;
    return record;
}

SError& SError::Set(const char* identifier, const char* /*sourceFile*/, int /*line*/)
{
    SError& record = Instance();
    record.m_identifier = SString::FromNarrow(identifier);
    record.m_messages.Clear();
    return record;
}

namespace
{
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
        return SString();
    return SString(static_cast<const wchar_t*>(buffer.Get()), static_cast<int>(length));
}
} // namespace

SError& SError::SetWithSystemText(const char* identifier, const char* sourceFile, int line)
{
    DWORD code = ::GetLastError();
    SError& record = Set(identifier, sourceFile, line);
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
