#pragma once
// Work on pieces of bytes on a thread of its own while the caller goes on
// receiving the next ones: a download's inflate, hash and writes overlap its
// receipt. At most a bounded number of bytes wait in between. A failure of
// the work reaches the caller, with the work's own error record, at its next
// Push or Drain, and the work then takes nothing more.
#include "SError.h"
#include "SHandle.h"

#include <deque>
#include <vector>

class PieceConsumer
{
public:
    // On the worker's thread. A failure fills SError there.
    virtual HRESULT Consume(const BYTE* bytes, DWORD size) = 0;

protected:
    ~PieceConsumer() {}
};

class PieceWorker
{
public:
    // join: small pieces join the last waiting one, for receipts that come
    // in a few kilobytes each; without it every piece reaches the consumer
    // as it was pushed, for pieces that are units of their own (chunks).
    PieceWorker(PieceConsumer& consumer, DWORD maxWaiting, bool join = true);
    // Stops the thread; what still waits is dropped.
    ~PieceWorker();
    PieceWorker(const PieceWorker&) = delete;
    PieceWorker& operator=(const PieceWorker&) = delete;

    // Starts the thread. Fails with "Install.Thread".
    HRESULT Start();
    // Queues a copy of the bytes, waiting while the queue is full.
    HRESULT Push(const BYTE* bytes, DWORD size);
    // Waits until everything queued has been consumed.
    HRESULT Drain();

private:
    static DWORD WINAPI Run(LPVOID self);
    void Work();
    // With the lock held: the work's failure raised on the caller's thread.
    HRESULT Failed() const;

    PieceConsumer& m_consumer;
    DWORD m_maxWaiting;
    bool m_join;
    SRWLOCK m_lock;
    CONDITION_VARIABLE m_changed;
    std::deque<std::vector<BYTE> > m_pieces;
    DWORD m_waiting;
    bool m_busy;
    bool m_failed;
    bool m_stop;
    SThreadError m_error;
    SKernelHandle m_thread;
};
