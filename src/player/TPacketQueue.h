// The packet queue between the player's read thread and one decoder. The flush marker is a
// packet of the player whose data is the text "FLUSH"; a decoder that takes it drops its state.
#pragma once

#include "AvPtr.h"

#include <condition_variable>
#include <deque>
#include <mutex>

namespace quovo {

// The marker packet: one per process, never freed.
AVPacket* FlushPacket();
bool IsFlushPacket(const AVPacket* packet);

class TPacketQueue {
public:
    // Bookkeeping bytes counted for every queued packet besides its payload.
    static constexpr int kNodeBytes = 72;

    TPacketQueue();
    ~TPacketQueue();
    TPacketQueue(const TPacketQueue&) = delete;
    TPacketQueue& operator=(const TPacketQueue&) = delete;

    // Takes the packet's data over (references it); the flush marker is queued as it is.
    // Returns 0, or -1 when the packet cannot be referenced.
    int Put(AVPacket* packet);
    void PutFlush() { Put(FlushPacket()); }
    // 1 with a packet (the caller owns it unless it is the flush marker), 0 when empty and not
    // blocking, -1 when aborted.
    int Get(AvPacketPtr& out, bool& flush, bool block);
    void Flush();
    void Abort();
    bool Aborted() const;

    int Count() const;
    int Bytes() const;

private:
    struct Node {
        AvPacketPtr packet; // null for the flush marker
    };
    mutable std::mutex mutex_;
    std::condition_variable cond_;
    // --- guarded by mutex_
    std::deque<Node> nodes_;
    int bytes_ = 0;
    bool abort_ = false;
};

} // namespace quovo
