#include "Manifest.h"

#include "Digest.h"
#include "Publish.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace
{
class ManifestReader
{
public:
    ManifestReader(const std::string& path, const std::map<std::string, std::string>& defines, Manifest& manifest)
        : m_path(path), m_folder(fs::absolute(fs::path(path)).parent_path()), m_defines(defines), m_manifest(manifest),
          m_line(0)
    {
    }

    bool Read(const std::vector<std::string>& added, std::string& error)
    {
        std::ifstream in(m_path);
        if (!in)
            return Fail("cannot open the manifest", error);
        std::string line;
        while (std::getline(in, line))
            if (!ReadLine(line, error))
                return false;
        for (size_t i = 0; i < added.size(); ++i)
            if (!ReadLine(added[i], error))
                return false;
        return true;
    }

private:
    bool ReadLine(const std::string& line, std::string& error)
    {
        ++m_line;
        std::vector<std::string> words;
        return Tokenize(line, words, error) && (words.empty() || Apply(words, error));
    }

    bool Fail(const std::string& reason, std::string& error) const
    {
        error = m_path + ":" + std::to_string(m_line) + ": " + reason;
        return false;
    }

    bool Expand(const std::string& word, std::string& out, std::string& error) const
    {
        out.clear();
        for (size_t i = 0; i < word.size(); ++i)
        {
            if (word.compare(i, 2, "${") != 0)
            {
                out += word[i];
                continue;
            }
            size_t end = word.find('}', i);
            if (end == std::string::npos)
                return Fail("unclosed ${ in '" + word + "'", error);
            std::string name = word.substr(i + 2, end - i - 2);
            std::map<std::string, std::string>::const_iterator value = m_defines.find(name);
            if (value == m_defines.end())
                return Fail("${" + name + "} is not defined (pass -D " + name + "=...)", error);
            out += value->second;
            i = end;
        }
        return true;
    }

    bool Tokenize(const std::string& line, std::vector<std::string>& words, std::string& error) const
    {
        size_t i = 0;
        while (i < line.size())
        {
            if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')
            {
                ++i;
                continue;
            }
            if (line[i] == '#')
                break;
            std::string word;
            bool quoted = line[i] == '"';
            if (quoted)
            {
                size_t end = line.find('"', i + 1);
                if (end == std::string::npos)
                    return Fail("unclosed quote", error);
                word = line.substr(i + 1, end - i - 1);
                i = end + 1;
            }
            else
            {
                size_t end = line.find_first_of(" \t\r", i);
                word = line.substr(i, end == std::string::npos ? std::string::npos : end - i);
                i = end == std::string::npos ? line.size() : end;
            }
            std::string expanded;
            if (!Expand(word, expanded, error))
                return false;
            // A ${NAME} defined as nothing leaves no word: an optional option.
            if (!expanded.empty() || quoted)
                words.push_back(expanded);
        }
        return true;
    }

    bool Text(const std::string& word, std::u16string& units, std::string& error) const
    {
        if (!Utf8ToUtf16(word, units))
            return Fail("'" + word + "' is not UTF-8", error);
        if (units.find(u'\0') != std::u16string::npos)
            return Fail("a name or string cannot hold a zero character", error);
        return true;
    }

    bool FileEntry(const std::string& name, const std::string& file, ManifestEntry& entry, std::string& error) const
    {
        if (!Text(name, entry.name, error))
            return false;
        if (entry.name.empty())
            return Fail("an entry needs a name", error);
        fs::path path = fs::path(file).is_absolute() ? fs::path(file) : m_folder / file;
        if (!ReadWholeFile(path.string(), entry.bytes))
            return Fail("cannot read '" + path.string() + "'", error);
        return true;
    }

    bool DataFolder(const std::string& folder, std::string& error)
    {
        fs::path root = fs::path(folder).is_absolute() ? fs::path(folder) : m_folder / folder;
        std::error_code failure;
        if (!fs::is_directory(root, failure))
            return Fail("'" + root.string() + "' is not a folder", error);
        std::vector<std::string> paths;
        for (fs::recursive_directory_iterator it(root, failure), end; !failure && it != end; it.increment(failure))
        {
            if (it->is_regular_file())
                paths.push_back(fs::relative(it->path(), root).generic_string());
        }
        if (failure)
            return Fail("cannot list '" + root.string() + "': " + failure.message(), error);
        std::sort(paths.begin(), paths.end());
        for (const std::string& path : paths)
        {
            ManifestEntry entry;
            if (!FileEntry(path, (root / path).string(), entry, error))
                return false;
            m_manifest.data.push_back(entry);
        }
        return true;
    }

    bool Deployment(const std::string& identifier, std::string& error)
    {
        static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::string encoded;
        for (size_t i = 0; i < identifier.size(); i += 3)
        {
            unsigned group = static_cast<unsigned char>(identifier[i]) << 16;
            size_t count = std::min<size_t>(3, identifier.size() - i);
            if (count > 1)
                group |= static_cast<unsigned char>(identifier[i + 1]) << 8;
            if (count > 2)
                group |= static_cast<unsigned char>(identifier[i + 2]);
            for (size_t k = 0; k < 4; ++k)
                encoded += k <= count ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
        }
        ManifestEntry entry;
        entry.name = u".deployment";
        std::u16string units;
        if (!Text(encoded, units, error))
            return false;
        units.push_back(0);
        AppendUtf16LE(entry.bytes, units);
        m_manifest.compressed.push_back(entry);
        return true;
    }

    // "register-extension <.ext> <ProgID> <description>": what the setup
    // program checks again before it writes a key.
    bool FileType(const std::vector<std::string>& strings, size_t at, std::string& error)
    {
        static const std::regex extension("\\.[A-Za-z0-9_-]{1,16}");
        static const std::regex progId("[A-Za-z][A-Za-z0-9_]*\\.[A-Za-z0-9_]+(\\.[0-9]+)?");
        if (at + 3 >= strings.size())
            return Fail("'register-extension' takes an extension, a ProgID and a description", error);
        if (!std::regex_match(strings[at + 1], extension))
            return Fail("'" + strings[at + 1] + "' is not an extension: a dot and 1 to 16 letters, digits, - or _", error);
        if (!std::regex_match(strings[at + 2], progId) || strings[at + 2].size() > 39)
            return Fail("'" + strings[at + 2] + "' is not a ProgID: Vendor.Name or Vendor.Name.Version, at most 39", error);
        return true;
    }

    bool Describe(const std::vector<std::string>& strings, std::string& error)
    {
        for (size_t i = 0; i < strings.size(); ++i)
            if (strings[i] == "register-extension" && !FileType(strings, i, error))
                return false;
        for (const std::string& word : strings)
        {
            std::u16string units;
            if (!Text(word, units, error))
                return false;
            if (units.empty())
                return Fail("an empty description string would end the description", error);
            m_manifest.description.push_back(units);
        }
        return true;
    }

    // The digest option of a download: the value itself, or the digest of a
    // local copy of the program, whose bytes are then kept for its map.
    bool DownloadDigest(const std::string& option, std::string& digest, Bytes& program, std::string& error) const
    {
        if (option.compare(0, 7, "sha256=") == 0)
            digest = option.substr(7);
        else if (option.compare(0, 10, "sha256-of=") == 0)
        {
            std::string file = option.substr(10);
            fs::path path = fs::path(file).is_absolute() ? fs::path(file) : m_folder / file;
            if (!ReadWholeFile(path.string(), program))
                return Fail("cannot read '" + path.string() + "'", error);
            digest = Sha256Hex(program);
        }
        else
            return Fail("expected sha256=<hex> or sha256-of=<file>, got '" + option + "'", error);
        if (!IsSha256Hex(digest))
            return Fail("'" + digest + "' is not 64 hexadecimal digits", error);
        return true;
    }

    // "blocks": the SHA-256 of the block map that publishing the program
    // writes, which the setup program checks before it trusts the map.
    bool DownloadBlocks(const std::string& target, const Bytes& program, std::string& error)
    {
        Bytes body;
        Bytes blocks;
        if (!PublishProgram(program, body, blocks, error))
            return false;
        return Describe({"download-blocks", target, Sha256Hex(blocks)}, error);
    }

    bool Download(const std::vector<std::string>& words, std::string& error)
    {
        bool blocks = words.size() == 6 && words[5] == "blocks";
        if ((words.size() != 4 && words.size() != 5 && !blocks) ||
            (blocks && words[4].compare(0, 10, "sha256-of=") != 0))
            return Fail("'download' takes a target, a URL, a size and optionally sha256=<hex> or sha256-of=<file>, "
                        "the latter optionally followed by 'blocks'",
                        error);
        if (!Describe({"download", words[1], words[2], words[3]}, error))
            return false;
        if (words.size() == 4)
            return true;
        std::string digest;
        Bytes program;
        return DownloadDigest(words[4], digest, program, error) &&
               Describe({"download-sha256", words[1], digest}, error) &&
               (!blocks || DownloadBlocks(words[1], program, error));
    }

    // One to four numbers of up to five digits, joined by dots: what the
    // setup program compares with the installed entry's version.
    bool Version(const std::string& version, std::string& error)
    {
        static const std::regex form("[0-9]{1,5}(\\.[0-9]{1,5}){0,3}");
        if (!std::regex_match(version, form))
            return Fail("'" + version + "' is not a version: one to four numbers joined by dots, such as 2.1.0", error);
        return Describe({"version", version}, error);
    }

    bool Apply(const std::vector<std::string>& words, std::string& error)
    {
        const std::string& directive = words[0];
        size_t arguments = words.size() - 1;
        if (directive == "describe")
            return Describe(std::vector<std::string>(words.begin() + 1, words.end()), error);
        if (directive == "download")
            return Download(words, error);
        std::map<std::string, size_t> arity = {{"credentials", 2}, {"compressed", 2}, {"deployment", 1},
                                               {"cache", 2},       {"data", 2},       {"data-folder", 1},
                                               {"version", 1}};
        std::map<std::string, size_t>::const_iterator expected = arity.find(directive);
        if (expected == arity.end())
            return Fail("unknown directive '" + directive + "'", error);
        if (arguments != expected->second)
            return Fail("'" + directive + "' takes " + std::to_string(expected->second) + " argument(s)", error);
        if (directive == "credentials")
        {
            m_manifest.hasCredentials = true;
            return Text(words[1], m_manifest.keyId, error) && Text(words[2], m_manifest.secret, error);
        }
        if (directive == "deployment")
            return Deployment(words[1], error);
        if (directive == "data-folder")
            return DataFolder(words[1], error);
        if (directive == "version")
            return Version(words[1], error);
        ManifestEntry entry;
        if (!FileEntry(words[1], words[2], entry, error))
            return false;
        std::vector<ManifestEntry>& list = directive == "compressed" ? m_manifest.compressed
                                           : directive == "cache"    ? m_manifest.cache
                                                                     : m_manifest.data;
        list.push_back(entry);
        return true;
    }

    std::string m_path;
    fs::path m_folder;
    const std::map<std::string, std::string>& m_defines;
    Manifest& m_manifest;
    int m_line;
};
} // namespace

bool ReadManifest(const std::string& path, const std::map<std::string, std::string>& defines,
                  const std::vector<std::string>& added, Manifest& manifest, std::string& error)
{
    return ManifestReader(path, defines, manifest).Read(added, error);
}
