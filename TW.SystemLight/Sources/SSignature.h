#pragma once
// ECDSA P-256 signatures, verified by Windows CNG: what a publisher signs
// its release feed with. Wine's CNG verifies them as Windows does.
#include "SHash.h"

// publicKey: X then Y, 32 big-endian bytes each (64 bytes); signature: r
// then s, 32 big-endian bytes each (64 bytes). True only for a signature of
// that digest made with the key's private half.
bool VerifyEcdsaP256(const BYTE* publicKey, const SDigest& digest, const BYTE* signature);
