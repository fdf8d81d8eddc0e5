#pragma once
// HTTP(S) addresses as the download reads them: split, resolved against the
// address that redirected, and written into errors and logs without what
// may be secret.
#include "SString.h"

// Splits http(s)://host[:port]/path (the scheme in any case) into a lower-case
// scheme, the host, the port and the path with its query, without the
// fragment. Fails with "ParseHttpURL_Protocol" for other schemes, and with
// "ParseHttpURL_UserInfo" for an address that carries a user name or
// password, and with "ParseHttpURL_Port" for a port that is not 1 to 65535.
// An IPv6 literal ("[::1]") gives its address without the brackets. Only the
// port is written before a failure.
HRESULT ParseHttpURL(const SString& url, SString& scheme, SString& host, int& port, SString& path);
// The reference (a Location header) made absolute against base, as RFC 3986
// section 5.2 resolves it; without its fragment.
SString ResolveUrlReference(const SString& base, const SString& reference);
// The address without user information, query or fragment: what errors and
// logs may hold, as a query may carry a signature.
SString UrlForLog(const SString& url);
