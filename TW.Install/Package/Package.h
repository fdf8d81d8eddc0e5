#pragma once
// The install package carried as the resource PACK: optional S3 credentials,
// compressed entries, cache entries, data files and description keywords.
// Entries point into the mapped resource; nothing is copied.
#include "SString.h"

#include <vector>

struct PackageEntry
{
    SString name;
    const BYTE* stream;   // first byte of the zlib stream
    DWORD blockLength;    // as stored: stream length + 4
    DWORD uncompressedSize;
};

struct StoredEntry
{
    SString name;
    const BYTE* bytes;
    DWORD size;
};

struct InstallPackage
{
    InstallPackage() : usageApplication(false), usagePlugin(false), admin(false) {}

    std::vector<PackageEntry> compressedEntries;
    std::vector<StoredEntry> cacheEntries;
    std::vector<StoredEntry> dataFiles; // paths with "\" separators
    SStringList uriSchemes;
    // "register-extension": a file type the application opens, its ProgID
    // and the type's description, one entry in each list.
    SStringList fileExtensions;
    SStringList fileProgIds;
    SStringList fileDescriptions;
    SString registerCookie;
    SString unregisterCookie;
    SStringList downloadUrls;
    SStringList downloadTargets;
    std::vector<int> downloadSizes;
    // "download-sha256": a download's target, exactly as in its "download",
    // and the SHA-256 of the file as installed (64 hexadecimal digits).
    SStringList digestTargets;
    SStringList digests;
    // "download-blocks": a download's target and the SHA-256 of the block map
    // published beside its body (at its URL + ".blocks").
    SStringList blocksTargets;
    SStringList blocksDigests;
    bool usageApplication;
    bool usagePlugin;
    SString targetProgram;
    SString targetData;
    bool admin;
    SString version; // "version": the product's, a.b.c[.d]; empty when the package gives none
    SString s3KeyId;
    SString s3Secret;

    // The digest given for the target; empty when the package gives none.
    SString DownloadDigest(const SString& target) const;
    // The block map's digest given for the target; empty when none.
    SString BlocksDigest(const SString& target) const;
    // Wrapping sum of compressed sizes, cache sizes and declared download sizes.
    DWORD TotalSize() const;
};

// Parses a package laid out as the PACK resource. Never reads past the block:
// counts, lengths or strings that run past its end fail with
// "ReadPackage.Truncated" and leave the package partly filled.
HRESULT ParsePackage(const BYTE* data, DWORD size, InstallPackage& package);
// Applies the description keywords to the package.
void ScanDescription(const SStringList& strings, InstallPackage& package);
