#include "LocalChunks.h"

#include "ContentChunks.h"
#include "PieceWorker.h"
#include "SError.h"
#include "SHandle.h"

#include <string.h>

#include <vector>

namespace
{
// The hash of a chunk costs several times its cut: every other chunk of a
// file goes to each of two hashers, which keep both cores busy while the file
// is read once.
const int g_hashers = 2;

class ChunkHasher : public PieceConsumer
{
public:
    // digests: a slot for every chunk the file can have; this hasher fills
    // slots first, first + g_hashers, ...
    ChunkHasher(std::vector<SDigest>& digests, size_t first) : m_digests(digests), m_next(first) {}

    HRESULT Consume(const BYTE* bytes, DWORD size) override
    {
        if (!Sha256(bytes, size, m_digests[m_next]))
        {
            SERROR_SET("LocalChunks.Hash");
            return E_FAIL;
        }
        m_next += g_hashers;
        return S_OK;
    }

private:
    std::vector<SDigest>& m_digests;
    size_t m_next;
};
} // namespace

void LocalChunks::AddFile(const SString& path)
{
    SFile file(::CreateFileW(path.CStr(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, NULL));
    Stamp stamp = {};
    if (!file.IsValid() || !StampOf(file.Get(), stamp) || stamp.size >= 0xFFFFFFFF)
        return;
    std::vector<SDigest> digests(static_cast<size_t>(stamp.size / ContentChunks::minSize) + 2);
    std::vector<DWORD> sizes;
    bool failed = !CutAndHash(file.Get(), digests, sizes);
    int index = m_paths.Count();
    m_paths.Append(path);
    m_stamps.push_back(stamp);
    SSha256 sequence;
    DWORD at = 0;
    for (size_t i = 0; i < sizes.size(); ++i)
    {
        LocalChunk chunk = {index, at, sizes[i]};
        if (!digests[i].empty()) // a hasher that failed left the rest of its slots
            m_chunks.insert(std::make_pair(digests[i], chunk));
        sequence.Update(digests[i].data(), static_cast<DWORD>(digests[i].size()));
        sequence.Update(&sizes[i], sizeof(sizes[i]));
        at += sizes[i];
    }
    // A file that broke off holds no program, though its chunks stay.
    SDigest cut;
    m_sequences.push_back(!failed && sequence.Finish(cut) ? cut : SDigest());
}

// Cuts the file on this thread and hashes its chunks on the hashers'; sizes
// gets the size of every chunk cut, in order, and digests its SHA-256 in the
// same slot. False when the file broke off or a hash failed.
bool LocalChunks::CutAndHash(HANDLE file, std::vector<SDigest>& digests, std::vector<DWORD>& sizes)
{
    ChunkHasher first(digests, 0), second(digests, 1);
    ChunkHasher* hashers[g_hashers] = {&first, &second};
    PieceWorker firstWorker(first, 1024 * 1024, false), secondWorker(second, 1024 * 1024, false);
    PieceWorker* workers[g_hashers] = {&firstWorker, &secondWorker};
    bool threaded = firstWorker.Start() == S_OK && secondWorker.Start() == S_OK;
    // A window of four chunks at most: a cut needs the next maxSize bytes.
    std::vector<BYTE> window(4 * ContentChunks::maxSize);
    DWORD held = 0;
    bool ended = false;
    bool failed = false;
    while (!failed && (held || !ended))
    {
        if (!ended && held < ContentChunks::maxSize)
        {
            DWORD read = 0;
            failed = !::ReadFile(file, &window[held], static_cast<DWORD>(window.size()) - held, &read, NULL);
            held += read;
            ended = read == 0;
            continue;
        }
        DWORD length = static_cast<DWORD>(ContentChunks::ChunkLength(&window[0], held));
        int hasher = static_cast<int>(sizes.size() % g_hashers);
        HRESULT handed = sizes.size() >= digests.size() ? E_FAIL
                         : threaded                         ? workers[hasher]->Push(&window[0], length)
                                                            : hashers[hasher]->Consume(&window[0], length);
        failed = handed != S_OK;
        if (!failed)
            sizes.push_back(length);
        memmove(&window[0], &window[length], held - length);
        held -= length;
    }
    for (int i = 0; threaded && i < g_hashers; ++i)
        failed = workers[i]->Drain() != S_OK || failed;
    return !failed;
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
