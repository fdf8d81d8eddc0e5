#include "Publish.h"

#include "ContentChunks.h"

#include <openssl/evp.h>
#include <zlib.h>

namespace
{
void AppendSha256(Bytes& out, const unsigned char* bytes, size_t size)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes, size, digest, &length, EVP_sha256(), nullptr);
    out.insert(out.end(), digest, digest + length);
}

// Deflates the input into the body with the given flush, all of it.
bool Deflate(z_stream& zlib, const unsigned char* input, size_t size, int flush, Bytes& body)
{
    zlib.next_in = const_cast<unsigned char*>(input);
    zlib.avail_in = static_cast<uInt>(size);
    unsigned char buffer[65536];
    do
    {
        zlib.next_out = buffer;
        zlib.avail_out = sizeof(buffer);
        int result = deflate(&zlib, flush);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR)
            return false;
        body.insert(body.end(), buffer, buffer + (sizeof(buffer) - zlib.avail_out));
    } while (zlib.avail_out == 0 || zlib.avail_in != 0);
    return true;
}
} // namespace

bool PublishProgram(const Bytes& program, Bytes& body, Bytes& blocks, std::string& error)
{
    z_stream zlib = {};
    if (deflateInit(&zlib, Z_BEST_COMPRESSION) != Z_OK)
    {
        error = "zlib deflateInit failed";
        return false;
    }
    body.clear();
    AppendU32(body, static_cast<unsigned>(program.size()));
    Bytes entries;
    unsigned count = 0;
    size_t offset = 0;
    bool deflated = true;
    do
    {
        size_t length = ContentChunks::ChunkLength(program.data() + offset, program.size() - offset);
        bool last = offset + length == program.size();
        // The zlib header (2 bytes) comes out with the first chunk but is not
        // part of it; the last chunk's output ends with the Adler-32 (4 bytes).
        size_t start = body.size() + (count == 0 ? 2 : 0);
        deflated = Deflate(zlib, program.data() + offset, length, last ? Z_FINISH : Z_FULL_FLUSH, body);
        size_t end = body.size() - (last ? 4 : 0);
        AppendU32(entries, static_cast<unsigned>(offset));
        AppendU32(entries, static_cast<unsigned>(length));
        AppendU32(entries, static_cast<unsigned>(start));
        AppendU32(entries, static_cast<unsigned>(end - start));
        AppendSha256(entries, program.data() + offset, length);
        offset += length;
        ++count;
    } while (deflated && offset < program.size());
    deflateEnd(&zlib);
    if (!deflated)
    {
        error = "zlib deflate failed";
        return false;
    }
    const char magic[] = "TWBLOCK1";
    blocks.assign(magic, magic + 8);
    AppendU32(blocks, count);
    AppendU32(blocks, static_cast<unsigned>(program.size()));
    AppendSha256(blocks, program.data(), program.size());
    AppendU32(blocks, static_cast<unsigned>(body.size()));
    blocks.insert(blocks.end(), entries.begin(), entries.end());
    return true;
}
