#include "Package.h"

#include <zlib.h>

namespace
{
bool Compress(const Bytes& input, Bytes& stream, std::string& error)
{
    uLongf length = compressBound(static_cast<uLong>(input.size()));
    stream.resize(length);
    int result = compress2(stream.data(), &length, input.data(), static_cast<uLong>(input.size()), Z_BEST_COMPRESSION);
    if (result != Z_OK)
    {
        error = "zlib compress2 failed with " + std::to_string(result);
        return false;
    }
    stream.resize(length);
    return true;
}

void AppendString(Bytes& out, const std::u16string& text)
{
    AppendUtf16LE(out, text);
    out.push_back(0);
    out.push_back(0);
}

void AppendStoredEntries(Bytes& pack, const std::vector<ManifestEntry>& entries)
{
    AppendU32(pack, static_cast<unsigned>(entries.size()));
    for (const ManifestEntry& entry : entries)
    {
        AppendString(pack, entry.name);
        AppendU32(pack, static_cast<unsigned>(entry.bytes.size()));
        pack.insert(pack.end(), entry.bytes.begin(), entry.bytes.end());
    }
}
} // namespace

bool WritePackage(const Manifest& manifest, Bytes& pack, std::string& error)
{
    pack.clear();
    AppendU32(pack, manifest.hasCredentials ? 2 : 0);
    if (manifest.hasCredentials)
    {
        AppendString(pack, manifest.keyId);
        AppendString(pack, manifest.secret);
    }
    AppendU32(pack, static_cast<unsigned>(manifest.compressed.size()));
    for (const ManifestEntry& entry : manifest.compressed)
    {
        Bytes stream;
        if (!Compress(entry.bytes, stream, error))
            return false;
        AppendString(pack, entry.name);
        AppendU32(pack, static_cast<unsigned>(stream.size() + 4));
        AppendU32(pack, static_cast<unsigned>(entry.bytes.size()));
        pack.insert(pack.end(), stream.begin(), stream.end());
    }
    AppendStoredEntries(pack, manifest.cache);
    AppendStoredEntries(pack, manifest.data);
    for (const std::u16string& text : manifest.description)
        AppendString(pack, text);
    pack.push_back(0);
    pack.push_back(0);
    return true;
}

bool ConvertNlsText(const std::string& utf8, Bytes& resource, std::string& error)
{
    std::string text = utf8.compare(0, 3, "\xEF\xBB\xBF") == 0 ? utf8.substr(3) : utf8;
    resource.clear();
    size_t start = 0;
    for (int line = 1; start < text.size(); ++line)
    {
        size_t end = text.find('\n', start);
        std::string content = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        start = end == std::string::npos ? text.size() : end + 1;
        if (!content.empty() && content.back() == '\r')
            content.pop_back();
        if (content.empty())
            continue;
        size_t equals = content.find('=');
        if (equals == std::string::npos || equals == 0 || content.find('=', equals + 1) != std::string::npos)
        {
            error = "line " + std::to_string(line) + " is not key=value with a single '='";
            return false;
        }
        std::u16string units;
        if (!Utf8ToUtf16(content + "\r\n", units))
        {
            error = "line " + std::to_string(line) + " is not UTF-8";
            return false;
        }
        AppendUtf16LE(resource, units);
    }
    return true;
}
