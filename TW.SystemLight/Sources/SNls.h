#pragma once
// The localized key=value table carried as the resource "NLS", one variant
// per language. Texts and install settings are read the same way.
#include "SString.h"

#include <map>

typedef std::map<SString, SString> SNlsTable;

// The value for the key in the user's language, or the key itself when the
// table has no such entry. Never fails.
SString GetNLS(const SString& key);

// Parses the variant's text (size / 2 units, CR LF lines, key=value) into
// the table; lines that do not split into exactly two pieces are skipped.
void ParseNLSText(const wchar_t* text, int units, SNlsTable& table);
// Loads the variant that FindResourceExW picks for the language: the exact
// id, then its primary language, then neutral. Leaves the table as it was
// when the module has no variant.
void LoadNLSVariant(HMODULE module, LANGID language, SNlsTable& table);
// The language of the variant that LoadNLSVariant picks for the language: the
// exact id, then its primary language, then neutral (0).
LANGID NLSVariantLanguage(HMODULE module, LANGID language);
