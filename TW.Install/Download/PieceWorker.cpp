#include "PieceWorker.h"

#include "SLocked.h"

#include <string.h>

namespace
{
const size_t g_pieceSize = 128 * 1024;
} // namespace

PieceWorker::PieceWorker(PieceConsumer& consumer, DWORD maxWaiting, bool join)
    : m_consumer(consumer), m_maxWaiting(maxWaiting), m_join(join), m_waiting(0), m_busy(false), m_failed(false),
      m_stop(false)
{
    ::InitializeSRWLock(&m_lock);
    ::InitializeConditionVariable(&m_changed);
}

PieceWorker::~PieceWorker()
{
    if (!m_thread.IsValid())
        return;
    {
        SLocked hold(m_lock);
        m_stop = true;
        m_pieces.clear();
        ::WakeAllConditionVariable(&m_changed);
    }
    ::WaitForSingleObject(m_thread.Get(), INFINITE);
}

HRESULT PieceWorker::Start()
{
    // Its work needs little stack: a small one keeps the working set down.
    m_thread.Reset(::CreateThread(NULL, 64 * 1024, Run, this, STACK_SIZE_PARAM_IS_A_RESERVATION, NULL));
    if (!m_thread.IsValid())
    {
        SERROR_SET_SYSTEM("Install.Thread");
        return E_FAIL;
    }
    return S_OK;
}

DWORD WINAPI PieceWorker::Run(LPVOID self)
{
    static_cast<PieceWorker*>(self)->Work();
    return 0;
}

void PieceWorker::Work()
{
    m_error.Bind();
    SLocked hold(m_lock);
    for (;;)
    {
        while (m_pieces.empty() && !m_stop)
            ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        if (m_stop)
            break;
        std::vector<BYTE> piece;
        piece.swap(m_pieces.front());
        m_pieces.pop_front();
        m_busy = true;
        bool consume = !m_failed;
        ::ReleaseSRWLockExclusive(&m_lock);
        bool failed = consume && m_consumer.Consume(&piece[0], static_cast<DWORD>(piece.size())) != S_OK;
        ::AcquireSRWLockExclusive(&m_lock);
        m_busy = false;
        m_waiting -= static_cast<DWORD>(piece.size());
        m_failed = m_failed || failed;
        ::WakeAllConditionVariable(&m_changed);
    }
    m_error.Unbind();
}

HRESULT PieceWorker::Failed() const
{
    m_error.Raise();
    return E_FAIL;
}

HRESULT PieceWorker::Push(const BYTE* bytes, DWORD size)
{
    if (!size)
        return S_OK;
    SLocked hold(m_lock);
    while (!m_failed && m_waiting && m_waiting + size > m_maxWaiting)
        ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
    if (m_failed)
        return Failed();
    // Receipts come in a few kilobytes each: they join the last waiting piece,
    // so that the worker wakes, and the lock changes hands, once a piece.
    bool idle = m_pieces.empty();
    if (idle || !m_join || m_pieces.back().size() + size > g_pieceSize)
    {
        m_pieces.push_back(std::vector<BYTE>());
        m_pieces.back().reserve(size > g_pieceSize || !m_join ? size : g_pieceSize);
    }
    m_pieces.back().insert(m_pieces.back().end(), bytes, bytes + size);
    m_waiting += size;
    if (idle)
        ::WakeAllConditionVariable(&m_changed);
    return S_OK;
}

HRESULT PieceWorker::Drain()
{
    SLocked hold(m_lock);
    while (!m_failed && (!m_pieces.empty() || m_busy))
        ::SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
    return m_failed ? Failed() : S_OK;
}
