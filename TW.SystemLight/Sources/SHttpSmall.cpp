#include "SHttpSmall.h"

#include "SError.h"
#include "SHttpClient.h"

namespace
{
class SmallSink : public SHttpSink
{
public:
    SmallSink(const SString& url, bool conditional, DWORD maxBytes, const char* tooLarge, SHttpSmallAnswer& answer)
        : m_url(url), m_conditional(conditional), m_maxBytes(maxBytes), m_tooLarge(tooLarge), m_answer(answer)
    {
    }

    HRESULT Begin(DWORD offset, DWORD total) override
    {
        if (total != 0xFFFFFFFF && total > m_maxBytes)
            return TooLarge();
        m_answer.body.resize(offset < m_answer.body.size() ? offset : m_answer.body.size());
        return S_OK;
    }
    HRESULT Receive(const BYTE* bytes, DWORD count) override
    {
        if (count > m_maxBytes - m_answer.body.size())
            return TooLarge();
        m_answer.body.append(reinterpret_cast<const char*>(bytes), count);
        return S_OK;
    }
    void Validator(const SString& etag) override { m_answer.etag = etag; }
    bool TakesNotModified() const override { return m_conditional; }
    void NotModified() override { m_answer.notModified = true; }

private:
    HRESULT TooLarge()
    {
        SERROR_SET(m_tooLarge)
            .Add(UrlForLog(m_url))
            .Add(L"The answer is longer than the " + SString::FromUnsigned(m_maxBytes) + L" bytes it may have.");
        return E_FAIL;
    }

    SString m_url;
    bool m_conditional;
    DWORD m_maxBytes;
    const char* m_tooLarge;
    SHttpSmallAnswer& m_answer;
};
} // namespace

HRESULT FetchSmall(const SString& url, const SString& ifNoneMatch, DWORD maxBytes, const char* tooLarge,
                   SHttpSmallAnswer& answer)
{
    SHttpSmallAnswer received;
    SmallSink sink(url, !ifNoneMatch.IsEmpty(), maxBytes, tooLarge, received);
    SStringList headers;
    if (!ifNoneMatch.IsEmpty())
        headers.Append(L"If-None-Match: " + ifNoneMatch);
    S_RETURN_IF_FAILED(StreamURL(url, headers, sink));
    if (received.notModified)
        received.etag = ifNoneMatch;
    answer = received;
    return S_OK;
}
