#include "Package.h"

#include <sstream>

namespace
{
class Reader
{
public:
    explicit Reader(const Bytes& bytes) : m_bytes(bytes), m_offset(0) {}

    bool Number(unsigned& value)
    {
        if (m_bytes.size() - m_offset < 4)
            return false;
        value = 0;
        for (int i = 3; i >= 0; --i)
            value = (value << 8) | m_bytes[m_offset + i];
        m_offset += 4;
        return true;
    }

    bool String(std::u16string& text)
    {
        text.clear();
        for (; m_bytes.size() - m_offset >= 2; m_offset += 2)
        {
            char16_t unit = static_cast<char16_t>(m_bytes[m_offset] | (m_bytes[m_offset + 1] << 8));
            if (!unit)
            {
                m_offset += 2;
                return true;
            }
            text += unit;
        }
        return false;
    }

    bool Skip(unsigned bytes)
    {
        if (m_bytes.size() - m_offset < bytes)
            return false;
        m_offset += bytes;
        return true;
    }

    size_t Offset() const { return m_offset; }

private:
    const Bytes& m_bytes;
    size_t m_offset;
};

struct Description
{
    Description() : total(0) {}

    std::vector<std::string> flags;
    std::vector<std::string> values;
    std::vector<std::string> downloads;
    std::vector<std::string> digests;
    unsigned total;
};

void Scan(const std::vector<std::string>& strings, Description& description)
{
    static const char* const flags[] = {"usage-application", "usage-plugin", "admin"};
    static const char* const values[] = {"target-program", "target-data", "register-uri", "register-cookie",
                                         "unregister-cookie"};
    for (size_t i = 0; i < strings.size(); ++i)
    {
        const std::string& word = strings[i];
        for (const char* flag : flags)
        {
            if (word == flag)
                description.flags.push_back(word);
        }
        for (const char* value : values)
        {
            if (word == value && i + 1 < strings.size())
            {
                description.values.push_back(word + " " + strings[i + 1]);
                ++i;
                break;
            }
        }
        if (word == "register-extension" && i + 3 < strings.size())
        {
            description.values.push_back(word + " " + strings[i + 1] + " " + strings[i + 2] + " \"" +
                                         strings[i + 3] + "\"");
            i += 3;
            continue;
        }
        if (word == "download" && i + 3 < strings.size())
        {
            int size = std::atoi(strings[i + 3].c_str());
            description.downloads.push_back(strings[i + 1] + " <- " + strings[i + 2] + " (" + std::to_string(size) +
                                            " bytes declared)");
            description.total += static_cast<unsigned>(size);
            i += 3;
        }
        if (word == "download-sha256" && i + 2 < strings.size())
        {
            description.digests.push_back("sha256 of " + strings[i + 1] + ": " + strings[i + 2]);
            i += 2;
        }
    }
}

bool Damaged(const Reader& reader, const char* what, std::string& error)
{
    error = std::string("the package ends inside ") + what + " at offset " + std::to_string(reader.Offset());
    return false;
}

bool ListEntries(Reader& reader, const char* title, bool compressed, std::ostringstream& out, unsigned& total)
{
    unsigned count = 0;
    if (!reader.Number(count))
        return false;
    out << title << ": " << count << "\n";
    for (unsigned i = 0; i < count; ++i)
    {
        std::u16string name;
        unsigned length = 0;
        unsigned size = 0;
        if (!reader.String(name) || !reader.Number(length))
            return false;
        if (compressed)
        {
            if (length < 4 || !reader.Number(size) || !reader.Skip(length - 4))
                return false;
            out << "  " << Utf16ToUtf8(name) << "  " << size << " bytes (" << length - 4 << " compressed)\n";
        }
        else
        {
            size = length;
            if (!reader.Skip(size))
                return false;
            out << "  " << Utf16ToUtf8(name) << "  " << size << " bytes\n";
        }
        total += size;
    }
    return true;
}
} // namespace

bool ListPackage(const Bytes& pack, std::string& listing, std::string& error)
{
    Reader reader(pack);
    std::ostringstream out;
    unsigned credentials = 0;
    if (!reader.Number(credentials))
        return Damaged(reader, "the credential count", error);
    std::u16string keyId;
    std::u16string secret;
    if (credentials && (!reader.String(keyId) || !reader.String(secret)))
        return Damaged(reader, "the credentials", error);
    out << "credentials: "
        << (!credentials ? "none" : keyId == u"null" ? "\"null\" (unsigned downloads)"
                                                      : "key id " + Utf16ToUtf8(keyId) + " (signed S3 downloads)")
        << "\n";
    unsigned total = 0;
    unsigned ignored = 0;
    if (!ListEntries(reader, "compressed entries", true, out, total))
        return Damaged(reader, "a compressed entry", error);
    if (!ListEntries(reader, "cache entries", false, out, total))
        return Damaged(reader, "a cache entry", error);
    if (!ListEntries(reader, "data files", false, out, ignored))
        return Damaged(reader, "a data file", error);
    std::vector<std::string> strings;
    for (;;)
    {
        std::u16string text;
        if (!reader.String(text))
            return Damaged(reader, "the description", error);
        if (text.empty())
            break;
        strings.push_back(Utf16ToUtf8(text));
    }
    out << "description strings: " << strings.size() << "\n";
    for (const std::string& text : strings)
        out << "  " << text << "\n";
    Description description;
    Scan(strings, description);
    for (const std::string& flag : description.flags)
        out << "flag: " << flag << "\n";
    for (const std::string& value : description.values)
        out << "setting: " << value << "\n";
    out << "downloads: " << description.downloads.size() << "\n";
    for (const std::string& download : description.downloads)
        out << "  " << download << "\n";
    for (const std::string& digest : description.digests)
        out << "  " << digest << "\n";
    out << "total size (progress denominator): " << total + description.total << " bytes\n";
    listing = out.str();
    return true;
}
