#include "LocalChunks.h"

#include "ContentChunks.h"
#include "PieceWorker.h"
#include "SError.h"
#include "SHandle.h"

#include <string.h>

#include <vector>

namespace
{
// The chunks of one file as they are cut, hashed on a thread of their own:
// the next ones are read and cut meanwhile, and the file is read once.
class ChunkHasher : public PieceConsumer
{
public:
    ChunkHasher(std::map<SDigest, LocalChunk>& chunks, int file) : m_chunks(chunks), m_file(file), m_at(0) {}

    // The chunks hashed so far, in their order.
    const std::vector<std::pair<SDigest, DWORD> >& Cut() const { return m_cut; }

    HRESULT Consume(const BYTE* bytes, DWORD size) override
    {
        SDigest digest;
        if (!Sha256(bytes, size, digest))
        {
            SERROR_SET("LocalChunks.Hash");
            return E_FAIL;
        }
        LocalChunk chunk = {m_file, m_at, size};
        m_chunks.insert(std::make_pair(digest, chunk));
        m_cut.push_back(std::make_pair(digest, size));
        m_at += size;
        return S_OK;
    }

private:
    std::map<SDigest, LocalChunk>& m_chunks;
    int m_file;
    DWORD m_at;
    std::vector<std::pair<SDigest, DWORD> > m_cut;
};
} // namespace

void LocalChunks::AddFile(const SString& path)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    Stamp stamp = {};
    if (!file.IsValid() || !StampOf(file.Get(), stamp))
        return;
    int index = m_paths.Count();
    m_paths.Append(path);
    m_stamps.push_back(stamp);
    ChunkHasher hasher(m_chunks, index);
    PieceWorker worker(hasher, 1024 * 1024, false);
    bool threaded = worker.Start() == S_OK;
    // A window of four chunks at most: a cut needs the next maxSize bytes.
    // What is left of it moves to its front only before the next read, less
    // than a chunk each time, rather than after every cut.
    std::vector<BYTE> window(4 * ContentChunks::maxSize);
    DWORD start = 0;
    DWORD held = 0; // from start
    bool ended = false;
    bool failed = false;
    while (!failed && (held || !ended))
    {
        if (!ended && held < ContentChunks::maxSize)
        {
            memmove(&window[0], &window[start], held);
            start = 0;
            DWORD read = 0;
            failed = !::ReadFile(file.Get(), &window[held], static_cast<DWORD>(window.size()) - held, &read, NULL);
            held += read;
            ended = read == 0;
            continue;
        }
        DWORD length = static_cast<DWORD>(ContentChunks::ChunkLength(&window[start], held));
        failed = (threaded ? worker.Push(&window[start], length) : hasher.Consume(&window[start], length)) != S_OK;
        start += length;
        held -= length;
    }
    failed = (threaded && worker.Drain() != S_OK) || failed;
    // A file that broke off holds no program, though its chunks stay.
    m_sequences.push_back(failed ? SDigest() : SequenceDigest(hasher.Cut()));
}

SDigest LocalChunks::SequenceDigest(const std::vector<std::pair<SDigest, DWORD> >& chunks)
{
    SSha256 sequence;
    for (const std::pair<SDigest, DWORD>& chunk : chunks)
    {
        sequence.Update(chunk.first.data(), static_cast<DWORD>(chunk.first.size()));
        sequence.Update(&chunk.second, sizeof(chunk.second));
    }
    SDigest digest = {};
    sequence.Finish(digest);
    return digest;
}

bool LocalChunks::HoldsExactly(const SString& path, const std::vector<std::pair<SDigest, DWORD> >& chunks) const
{
    ULONGLONG size = 0;
    for (const std::pair<SDigest, DWORD>& chunk : chunks)
        size += chunk.second;
    for (int i = 0; i < m_paths.Count(); ++i)
        if (m_paths[i] == path)
            return !chunks.empty() && m_stamps[i].size == size && m_sequences[i] == SequenceDigest(chunks) &&
                   m_sequences[i] != SDigest();
    return false;
}

void LocalChunks::Merge(const LocalChunks& other)
{
    int first = m_paths.Count();
    for (int i = 0; i < other.m_paths.Count(); ++i)
        m_paths.Append(other.m_paths[i]);
    m_stamps.insert(m_stamps.end(), other.m_stamps.begin(), other.m_stamps.end());
    m_sequences.insert(m_sequences.end(), other.m_sequences.begin(), other.m_sequences.end());
    for (const std::pair<const SDigest, LocalChunk>& entry : other.m_chunks)
    {
        LocalChunk chunk = entry.second;
        chunk.file += first;
        m_chunks.insert(std::make_pair(entry.first, chunk)); // keeps a chunk this one has
    }
}

const LocalChunk* LocalChunks::Find(const SDigest& digest, DWORD size) const
{
    std::map<SDigest, LocalChunk>::const_iterator found = m_chunks.find(digest);
    return found != m_chunks.end() && found->second.size == size ? &found->second : NULL;
}

bool LocalChunks::StampOf(HANDLE file, Stamp& stamp)
{
    BY_HANDLE_FILE_INFORMATION information = {};
    if (!::GetFileInformationByHandle(file, &information))
        return false;
    stamp.size = (static_cast<ULONGLONG>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
    stamp.written = information.ftLastWriteTime;
    return true;
}

bool LocalChunks::IsUnchanged(int file, HANDLE open) const
{
    Stamp now = {};
    const Stamp& then = m_stamps[file];
    return StampOf(open, now) && now.size == then.size &&
           ::CompareFileTime(&now.written, &then.written) == 0;
}
