#include "TPacketQueue.h"

#include <cstring>

namespace quovo {

AVPacket* FlushPacket() {
    static AVPacket* marker = [] {
        static uint8_t text[] = "FLUSH";
        AVPacket* p = av_packet_alloc();
        p->data = text;
        p->size = 0;
        return p;
    }();
    return marker;
}

bool IsFlushPacket(const AVPacket* packet) {
    return packet == FlushPacket() ||
           (packet && packet->data == FlushPacket()->data && !packet->buf);
}

TPacketQueue::TPacketQueue() {
    PutFlush();
}

TPacketQueue::~TPacketQueue() {
    Flush();
}

int TPacketQueue::Put(AVPacket* packet) {
    Node node;
    int size = 0;
    if (!IsFlushPacket(packet)) {
        node.packet = MakePacket();
        if (!node.packet || av_packet_ref(node.packet.get(), packet) < 0) {
            return -1;
        }
        size = packet->size;
    }
    {
        std::lock_guard lock(mutex_);
        nodes_.push_back(std::move(node));
        bytes_ += size + kNodeBytes;
    }
    cond_.notify_one();
    return 0;
}

int TPacketQueue::Get(AvPacketPtr& out, bool& flush, bool block) {
    std::unique_lock lock(mutex_);
    for (;;) {
        if (abort_) {
            return -1;
        }
        if (!nodes_.empty()) {
            Node node = std::move(nodes_.front());
            nodes_.pop_front();
            bytes_ -= (node.packet ? node.packet->size : 0) + kNodeBytes;
            flush = !node.packet;
            out = std::move(node.packet);
            return 1;
        }
        if (!block) {
            return 0;
        }
        cond_.wait(lock);
    }
}

void TPacketQueue::Flush() {
    std::lock_guard lock(mutex_);
    nodes_.clear();
    bytes_ = 0;
}

void TPacketQueue::Abort() {
    {
        std::lock_guard lock(mutex_);
        abort_ = true;
    }
    cond_.notify_all();
}

bool TPacketQueue::Aborted() const {
    std::lock_guard lock(mutex_);
    return abort_;
}

int TPacketQueue::Count() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(nodes_.size());
}

int TPacketQueue::Bytes() const {
    std::lock_guard lock(mutex_);
    return bytes_;
}

} // namespace quovo
