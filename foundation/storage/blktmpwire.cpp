// The block temporary file on the wire: sending a range of the stream and receiving into its end.
#include "foundation/storage/blktmpfile.h"
#include "foundation/storage/kotcpip.h"

#include "foundation/os/bos.h"

#include <initializer_list>

namespace {

// Bytes a receive may bring before the room test switches to flushing ahead of every receive.
constexpr int64_t receiveWindow = 32768;

uint32_t minOf(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

} // namespace

KoStatus BlkTmpFile::writeToWire(uint32_t offset, KoTCPIP* conn, uint32_t len, int) {
    if (!conn || offset > totalLength_ || len > totalLength_ - offset) return koFailure;
    uint32_t p = offset;
    const uint32_t end = offset + len;
    // A trace needs the bytes in memory; otherwise the file's bytes go from the file to the
    // connection without passing through the read cache.
    const bool direct = !conn->isTracing();
    while (p < end && p < flushed_) {
        const unsigned char* from;
        const uint32_t n = fileRun(p, minOf(end, flushed_) - p, &from, !direct);
        if (from) {
            if (conn->send(from, n) != KoTCPIP::netOk) return koFailure;
        } else if (direct) {
            HANDLE file;
            if (bosFileSystemHandle(fileHandle_, int32_t(p), &file) != koSuccess) return koFailure;
            if (conn->sendFile(file, n) != KoTCPIP::netOk) return koFailure;
        } else {
            // One block-size chunk at a time passes through the read cache on its way out.
            if (loadCache(p) != koSuccess) return koFailure;
            continue;
        }
        p += n;
    }
    // Both blocks go in one gathered call unless traced.
    WSABUF pieces[2];
    uint32_t count = 0;
    for (Block* b : {&older(), &current()}) {
        if (p >= end || b->used == 0 || p < b->start || p - b->start >= b->used) continue;
        const uint32_t n = minOf(end - p, b->used - (p - b->start));
        pieces[count++] = {n, reinterpret_cast<char*>(b->data + (p - b->start))};
        p += n;
    }
    if (direct) return count && conn->sendPieces(pieces, count) != KoTCPIP::netOk ? koFailure : koSuccess;
    // Traced, a send that fails ends the dump: the next block is neither dumped nor sent.
    for (uint32_t i = 0; i < count; ++i)
        if (conn->send(pieces[i].buf, pieces[i].len) != KoTCPIP::netOk) return koFailure;
    return koSuccess;
}

KoStatus BlkTmpFile::receiveInto(KoTCPIP* conn, uint32_t ask, uint32_t* got) {
    Block& c = current();
    int32_t rc;
    // A time-out only means the peer is slow: ask again.
    do
        rc = conn->receive(c.data + c.used, ask, got);
    while (rc == KoTCPIP::netTimeout);
    if (rc != KoTCPIP::netOk) return koFailure;
    c.used += *got;
    totalLength_ += *got;
    return koSuccess;
}

KoStatus BlkTmpFile::receiveAcross(KoTCPIP* conn, uint32_t* got) {
    Block& c = current();
    Block& o = older();
    const uint32_t free = blockSize_ - c.used;
    WSABUF pieces[2] = {{free, reinterpret_cast<char*>(c.data + c.used)},
                        {blockSize_, reinterpret_cast<char*>(o.data)}};
    int32_t rc;
    do
        rc = conn->receivePieces(pieces, 2, got);
    while (rc == KoTCPIP::netTimeout);
    if (rc != KoTCPIP::netOk) return koFailure;
    totalLength_ += *got;
    if (*got <= free) {
        c.used += *got;
        return koSuccess;
    }
    // The current block is full and the rest lies at the start of the older one: the switch that
    // would have come between two receives.
    c.used = blockSize_;
    o.start = c.start + blockSize_;
    o.used = *got - free;
    cur_ ^= 1;
    return koSuccess;
}

KoStatus BlkTmpFile::appendFromWire(KoTCPIP* conn, uint32_t len, int) {
    if (!conn || initialize() != koSuccess) return koFailure;
    // A length no stream can hold is refused before a byte is read, whatever the peer announced.
    if (len > maxLength - totalLength_) {
        conn->report(KoTCPIP::netRefused, 0);
        return koFailure;
    }
    conn_ = conn;
    uint32_t received = 0;
    int64_t window = receiveWindow;
    KoStatus status = koSuccess;
    // Success only once every byte asked for has arrived, so a cut message is never taken for whole.
    while (status == koSuccess && received < len) {
        const uint32_t room = blockSize_ - current().used;
        if (window <= 0 || room == 0 || room < window) {
            // The block will fill: the older one goes to the file first, so that the switch that
            // follows needs nothing but memory.
            if ((status = flushOlder()) != koSuccess) break;
            while (current().used < blockSize_ && received < len) {
                const uint32_t free = blockSize_ - current().used;
                uint32_t ask = window > 0 ? minOf(uint32_t(window), free) : free;
                ask = minOf(ask, maxLength - totalLength_);
                uint32_t got = 0;
                if (window <= 0 && ask == free && len - received > free &&
                    uint64_t(free) + blockSize_ <= maxLength - totalLength_ && !conn->isTracing()) {
                    // More than this block will take is still to come: one receive may fill it and
                    // run on into the older block, which was just flushed and is empty.
                    const uint16_t before = cur_;
                    if ((status = receiveAcross(conn, &got)) != koSuccess) break;
                    received += got;
                    window -= got;
                    // Then the block that filled goes to the file, as it would have before the
                    // next receive.
                    if (cur_ != before && (status = flushOlder()) != koSuccess) break;
                    continue;
                }
                if ((status = receiveInto(conn, ask, &got)) != koSuccess) break;
                received += got;
                window -= got;
            }
            if (status == koSuccess && current().used == blockSize_) status = switchBlocks();
        } else {
            uint32_t got = 0;
            status = receiveInto(conn, minOf(room, maxLength - totalLength_), &got);
            received += got;
            window -= got;
        }
    }
    curLoc_ += received;
    conn_ = nullptr;
    return status;
}
