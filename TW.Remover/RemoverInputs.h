#pragma once
// The two files that the setup program leaves beside the remover. Both are
// input: the remover trusts nothing in them that it has not checked, and
// changes nothing unless both read cleanly.
#include "SString.h"

#include <vector>

class Remover;

// The whole file, at most maxBytes of it. Fails with `failure`, the system
// text and the path; bytes is then left unchanged.
HRESULT ReadInputFile(Remover& engine, const SString& path, DWORD maxBytes, const char* failure,
                      std::vector<BYTE>& bytes);

// ".deployment": Base64 text in UTF-16LE, ended by a zero unit or the end of
// the file, that decodes to a valid identifier or to the placeholder of a
// build without one. Fails with "Uninstall.Deployment" and the path.
HRESULT ParseDeployment(const BYTE* bytes, DWORD size, const SString& path, SString& deploymentId);
// "Uninstall": a count, then for each action its length in units and its
// UTF-16LE text, nothing more. Fails with "Uninstall.Damaged" and the path.
HRESULT ParseActions(const BYTE* bytes, DWORD size, const SString& path, SStringList& actions);
