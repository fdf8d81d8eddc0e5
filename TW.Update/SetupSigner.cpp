#include "SetupSigner.h"

#include <wincrypt.h>
#include <softpub.h>
#include <wintrust.h>

#include "SLog.h"

#include <vector>

namespace
{
SString HexCode(DWORD code)
{
    wchar_t text[16];
    wsprintfW(text, L"0x%08X", code);
    return text;
}

SString SubjectOf(PCCERT_CONTEXT certificate)
{
    CERT_NAME_BLOB* subject = &certificate->pCertInfo->Subject;
    const DWORD encoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
    DWORD length = ::CertNameToStrW(encoding, subject, CERT_X500_NAME_STR, NULL, 0);
    std::vector<wchar_t> text(length ? length : 1);
    ::CertNameToStrW(encoding, subject, CERT_X500_NAME_STR, &text[0], length);
    return SString(&text[0]);
}
} // namespace

SString TrustedSigner(const SString& path)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof(file);
    file.pcwszFilePath = path.CStr();
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof(data);
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    // No network: the answer comes from this machine alone.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG trusted = ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    SString subject;
    CRYPT_PROVIDER_DATA* provider =
        trusted == ERROR_SUCCESS ? ::WTHelperProvDataFromStateData(data.hWVTStateData) : NULL;
    CRYPT_PROVIDER_SGNR* signer = provider ? ::WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : NULL;
    if (signer && signer->csCertChain && signer->pasCertChain[0].pCert)
        subject = SubjectOf(signer->pasCertChain[0].pCert);
    SLog::Line(L"signature of " + path + L": " +
               (subject.IsEmpty() ? L"none that this machine trusts (" + HexCode(static_cast<DWORD>(trusted)) + L")"
                                  : L"trusted, signed by " + subject));
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    ::WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return subject;
}
