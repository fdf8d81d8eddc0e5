#pragma once
// The package manifest: one directive a line, "#" starts a comment, words
// separated by blanks, "double quotes" around a word with blanks, ${NAME}
// replaced by a definition from the command line (an unquoted word that is
// left empty is dropped). File paths are relative
// to the manifest's folder.
//
//   credentials <key id> <secret>       S3 credentials ("null" "null": none)
//   compressed <name> <file>            entry inflated into the program folder
//   deployment <identifier>             the ".deployment" entry (Base64, UTF-16LE)
//   cache <name> <file>                 stored as <name>.TWP under the data folder's Cache
//   data <path> <file>                  one data file, "/" between folders
//   data-folder <folder>                every file below the folder, by sorted "/" path
//   download <target> <url> <size> [sha256=<hex> | sha256-of=<file> [blocks]]
//                                       a download ("%program%/..." or "%data%/..."), with the
//                                       SHA-256 of the file as installed, given or computed;
//                                       "blocks": the SHA-256 of its block map too, which the
//                                       setup program fetches from <url>.blocks
//   version <a.b.c[.d]>                 the product's version ("version" keyword)
//   describe <string>...                description strings, one per word
#include "Text.h"

#include <map>
#include <string>
#include <vector>

struct ManifestEntry
{
    std::u16string name;
    Bytes bytes;
};

struct Manifest
{
    Manifest() : hasCredentials(false) {}

    bool hasCredentials;
    std::u16string keyId;
    std::u16string secret;
    std::vector<ManifestEntry> compressed;
    std::vector<ManifestEntry> cache;
    std::vector<ManifestEntry> data;
    std::vector<std::u16string> description;
};

// Reads the manifest, then the added lines as if they followed it (the
// build adds the update agent so); on failure fills error with
// "file:line: reason".
bool ReadManifest(const std::string& path, const std::map<std::string, std::string>& defines,
                  const std::vector<std::string>& added, Manifest& manifest, std::string& error);
