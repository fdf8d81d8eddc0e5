#pragma once
// Who signed a program (Authenticode), as far as this machine trusts it: the
// subject of the signer's certificate when the signature verifies, covers the
// file as it is, and chains to a trusted root. The feed's SHA-256 already
// fixes the setup program; the signer adds the publisher's code-signing key,
// so that a stolen feed key alone cannot ship a program. A subject without a
// trusted chain proves nothing (anyone can name themselves so), and counts
// as none.
#include "SString.h"

// The signer's subject (X.500 form), or empty for a program without a
// signature that this machine trusts.
SString TrustedSigner(const SString& path);
