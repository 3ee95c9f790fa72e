// The block temporary file: blocks, spill file, appends, reads, overwrites, pointers and copies.
#include "foundation/storage/blktmpfile.h"

#include <cstring>
#include <initializer_list>

#include "foundation/errors/koerrnum.h"
#include "foundation/errors/koerror.h"
#include "foundation/errors/ramalloc.h"
#include "foundation/os/bos.h"
#include "platform/win32.h"

namespace {

constexpr uint32_t defaultBlockSize = 32768;
constexpr uint32_t nameBufferSize = 256;

uint32_t minOf(uint32_t a, uint32_t b) {
    return a < b ? a : b;
}

// Copies the overlap of [offset, offset + len) with a buffer holding [bufOffset, bufOffset + valid).
void patch(unsigned char* buf, uint32_t bufOffset, uint32_t valid, uint32_t offset, const unsigned char* src,
           uint32_t len) {
    if (!buf || valid == 0) return;
    const uint64_t lo = offset > bufOffset ? offset : bufOffset;
    const uint64_t hi = minOf(offset + len, bufOffset + valid);
    if (lo >= hi) return;
    memcpy(buf + (lo - bufOffset), src + (lo - offset), size_t(hi - lo));
}

} // namespace

BlkTmpFile::BlkTmpFile() : blockSize_(defaultBlockSize) {}

BlkTmpFile::BlkTmpFile(uint32_t blockSize) : blockSize_(blockSize ? blockSize : 1) {}

BlkTmpFile::~BlkTmpFile() {
    if (fileHandle_) bosFileClose(fileHandle_);
    // The file goes on every road, also when memory is too short for the service layer's delete.
    if (fileName_ && fileName_[0] && bosFileDelete(fileName_) != koSuccess)
        DeleteFileA(reinterpret_cast<const char*>(fileName_));
    ramFree(fileName_);
    ramFree(blocks_[0].data);
    ramFree(blocks_[1].data);
    ramFree(ptrData_);
    ramFree(cacheData_);
}

KoStatus BlkTmpFile::initialize() {
    if (blocks_[0].data && blocks_[1].data) return koSuccess;
    unsigned char* a = static_cast<unsigned char*>(ramAlloc(blockSize_));
    unsigned char* b = a ? static_cast<unsigned char*>(ramAlloc(blockSize_)) : nullptr;
    if (!b) {
        ramFree(a);
        return koFailure;
    }
    ramFree(blocks_[0].data);
    ramFree(blocks_[1].data);
    blocks_[0] = {a, 0, 0};
    blocks_[1] = {b, 0, 0};
    cur_ = 0;
    return koSuccess;
}

void BlkTmpFile::clear() {
    blocks_[0].used = blocks_[0].start = 0;
    blocks_[1].used = blocks_[1].start = 0;
    cur_ = 0;
    totalLength_ = curLoc_ = flushed_ = 0;
    ptrValid_ = ptrOffset_ = 0;
    ptrWrite_ = 0;
    cacheValid_ = cacheOffset_ = 0;
}

const unsigned char* BlkTmpFile::getFileName() const {
    return fileName_ ? fileName_ : reinterpret_cast<const unsigned char*>("");
}

KoStatus BlkTmpFile::ensureFile() {
    if (fileHandle_) return koSuccess;
    if (!fileName_) {
        fileName_ = static_cast<unsigned char*>(ramAllocZ(nameBufferSize));
        if (!fileName_) return koFailure;
    }
    if (bosFileOpen(fileName_, bosOpenTempName | bosOpenReadWrite, &fileHandle_) != koSuccess) {
        // bosFileOpen removed whatever it created; nothing is left to delete.
        fileName_[0] = 0;
        return koFailure;
    }
    return koSuccess;
}

KoStatus BlkTmpFile::ensureBuffer(unsigned char** buffer) {
    if (!*buffer) *buffer = static_cast<unsigned char*>(ramAlloc(blockSize_));
    return *buffer ? koSuccess : koFailure;
}

KoStatus BlkTmpFile::flushOlder() {
    Block& o = older();
    if (o.used == 0) return koSuccess;
    if (ensureFile() != koSuccess) return koFailure;
    if (bosFileWrite(fileHandle_, int32_t(flushed_), o.data, o.used) != koSuccess) return koFailure;
    flushed_ += o.used;
    o.used = 0;
    return koSuccess;
}

KoStatus BlkTmpFile::switchBlocks() {
    if (flushOlder() != koSuccess) return koFailure;
    Block& o = older();
    o.start = current().start + blockSize_;
    o.used = 0;
    cur_ ^= 1;
    return koSuccess;
}

void BlkTmpFile::appendToBlock(const unsigned char* src, uint32_t len) {
    Block& c = current();
    unsigned char* d = c.data + c.used;
    switch (len) {
    case 1:
        d[0] = src[0];
        break;
    case 2:
        d[0] = src[0];
        d[1] = src[1];
        break;
    case 4:
        d[0] = src[0];
        d[1] = src[1];
        d[2] = src[2];
        d[3] = src[3];
        break;
    default:
        memcpy(d, src, len);
    }
    c.used += len;
    totalLength_ += len;
    curLoc_ += len;
}

KoStatus BlkTmpFile::append(const void* src, uint32_t len) {
    if (initialize() != koSuccess) return koFailure;
    if (len > maxLength - totalLength_) {
        koRaiseError(koErrSystem);
        return koFailure;
    }
    const unsigned char* s = static_cast<const unsigned char*>(src);
    while (len > blockSize_ - current().used) {
        // The older block goes to the file before the current one fills, so a failure leaves the
        // stream whole: every byte appended so far is still in it.
        if (flushOlder() != koSuccess) return koFailure;
        const uint32_t room = blockSize_ - current().used;
        appendToBlock(s, room);
        s += room;
        len -= room;
        if (switchBlocks() != koSuccess) return koFailure; // the older block is empty: cannot fail
    }
    if (len) appendToBlock(s, len);
    return koSuccess;
}

KoStatus BlkTmpFile::appendInt8(uint8_t v) {
    return append(&v, 1);
}

KoStatus BlkTmpFile::appendInt16(uint16_t v) {
    const unsigned char b[2] = {uint8_t(v >> 8), uint8_t(v)};
    return append(b, 2);
}

KoStatus BlkTmpFile::appendInt32(uint32_t v) {
    const unsigned char b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
    return append(b, 4);
}

KoStatus BlkTmpFile::appendInt64(uint64_t v) {
    unsigned char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = uint8_t(v >> (56 - 8 * i));
    return append(b, 8);
}

KoStatus BlkTmpFile::writeFile(uint32_t offset, const unsigned char* src, uint32_t len) {
    if (bosFileWrite(fileHandle_, int32_t(offset), src, len) != koSuccess) return koFailure;
    // The buffers keep copies of file bytes: they must never hand out what was just replaced.
    patch(cacheData_, cacheOffset_, cacheValid_, offset, src, len);
    patch(ptrData_, ptrOffset_, ptrValid_, offset, src, len);
    return koSuccess;
}

KoStatus BlkTmpFile::writeBackPointer() {
    if (!ptrWrite_ || ptrValid_ == 0) return koSuccess;
    if (bosFileWrite(fileHandle_, int32_t(ptrOffset_), ptrData_, ptrValid_) != koSuccess) return koFailure;
    patch(cacheData_, cacheOffset_, cacheValid_, ptrOffset_, ptrData_, ptrValid_);
    ptrWrite_ = 0;
    return koSuccess;
}

uint32_t BlkTmpFile::fileRun(uint32_t offset, uint32_t len, const unsigned char** from, bool cached) {
    // Bytes the caller may be changing through a pointer are newer than the file's.
    const bool live = ptrWrite_ && ptrValid_;
    if (live && offset >= ptrOffset_ && offset - ptrOffset_ < ptrValid_) {
        *from = ptrData_ + (offset - ptrOffset_);
        return minOf(len, ptrValid_ - (offset - ptrOffset_));
    }
    if (live && ptrOffset_ > offset) len = minOf(len, ptrOffset_ - offset);
    if (cached && cacheValid_ && offset >= cacheOffset_ && offset - cacheOffset_ < cacheValid_) {
        *from = cacheData_ + (offset - cacheOffset_);
        return minOf(len, cacheValid_ - (offset - cacheOffset_));
    }
    *from = nullptr;
    return len;
}

KoStatus BlkTmpFile::loadCache(uint32_t offset) {
    if (ensureBuffer(&cacheData_) != koSuccess) return koFailure;
    const uint32_t n = minOf(blockSize_, flushed_ - offset);
    cacheValid_ = 0;
    uint32_t got = 0;
    if (bosFileRead(fileHandle_, int32_t(offset), cacheData_, n, &got) != koSuccess) return koFailure;
    if (got != n) {
        // The file lost bytes it was given: never serve what is not there.
        koRaiseError(koErrSystem);
        return koFailure;
    }
    cacheOffset_ = offset;
    cacheValid_ = n;
    return koSuccess;
}

KoStatus BlkTmpFile::read(uint32_t offset, void* dst, uint32_t len) {
    if (offset > totalLength_ || len > totalLength_ - offset) return koFailure;
    unsigned char* d = static_cast<unsigned char*>(dst);
    uint32_t p = offset;
    const uint32_t end = offset + len;
    while (p < end && p < flushed_) {
        const unsigned char* from;
        uint32_t n = fileRun(p, minOf(end, flushed_) - p, &from);
        if (from) {
            memcpy(d + (p - offset), from, n);
        } else if (n >= blockSize_) {
            uint32_t got = 0;
            if (bosFileRead(fileHandle_, int32_t(p), d + (p - offset), n, &got) != koSuccess)
                return koFailure;
            if (got != n) {
                koRaiseError(koErrSystem);
                return koFailure;
            }
        } else {
            if (loadCache(p) != koSuccess) return koFailure;
            continue;
        }
        p += n;
    }
    for (Block* b : {&older(), &current()}) {
        if (p >= end || b->used == 0 || p < b->start || p - b->start >= b->used) continue;
        const uint32_t n = minOf(end - p, b->used - (p - b->start));
        memcpy(d + (p - offset), b->data + (p - b->start), n);
        p += n;
    }
    return koSuccess;
}

KoStatus BlkTmpFile::readCurLoc(void* dst, uint32_t len) {
    if (read(curLoc_, dst, len) != koSuccess) return koFailure;
    curLoc_ += len;
    return koSuccess;
}

KoStatus BlkTmpFile::write(uint32_t offset, const void* src, uint32_t len) {
    if (offset > totalLength_) return koFailure;
    const unsigned char* s = static_cast<const unsigned char*>(src);
    const uint32_t over = minOf(len, totalLength_ - offset);
    uint32_t p = offset;
    const uint32_t end = offset + over;
    if (p < end && p < flushed_) {
        const uint32_t n = minOf(end, flushed_) - p;
        if (writeFile(p, s, n) != koSuccess) return koFailure;
        p += n;
    }
    for (Block* b : {&older(), &current()}) {
        if (p >= end || b->used == 0 || p < b->start || p - b->start >= b->used) continue;
        const uint32_t n = minOf(end - p, b->used - (p - b->start));
        memcpy(b->data + (p - b->start), s + (p - offset), n);
        p += n;
    }
    return over < len ? append(s + over, len - over) : koSuccess;
}

KoStatus BlkTmpFile::tmpPointer(uint32_t offset, unsigned char** pointer, uint32_t* avail,
                                uint16_t forWrite) {
    if (offset >= totalLength_) return koFailure;
    if (writeBackPointer() != koSuccess) return koFailure;
    ptrWrite_ = 0;
    if (offset < flushed_) {
        if (ensureBuffer(&ptrData_) != koSuccess) return koFailure;
        const uint32_t n = minOf(blockSize_, flushed_ - offset);
        ptrValid_ = 0;
        uint32_t got = 0;
        if (bosFileRead(fileHandle_, int32_t(offset), ptrData_, n, &got) != koSuccess) return koFailure;
        if (got != n) {
            koRaiseError(koErrSystem);
            return koFailure;
        }
        ptrOffset_ = offset;
        ptrValid_ = n;
        // Only bytes handed out from this buffer are ever written back.
        ptrWrite_ = forWrite ? 1 : 0;
        *pointer = ptrData_;
        *avail = n;
        return koSuccess;
    }
    Block& b = older().used && offset >= older().start && offset - older().start < older().used ? older()
                                                                                                : current();
    *pointer = b.data + (offset - b.start);
    *avail = b.used - (offset - b.start);
    return koSuccess;
}

KoStatus BlkTmpFile::copy(uint32_t offset, BlkTmpFile* from, uint32_t len) {
    if (!from || offset > from->totalLength_ || len > from->totalLength_ - offset) return koFailure;
    if (initialize() != koSuccess) return koFailure;
    if (len > maxLength - totalLength_) {
        koRaiseError(koErrSystem);
        return koFailure;
    }
    while (len > 0) {
        if (from == this && current().used == blockSize_ && switchBlocks() != koSuccess) return koFailure;
        unsigned char* p;
        uint32_t avail;
        if (from->tmpPointer(offset, &p, &avail, 0) != koSuccess) return koFailure;
        uint32_t n = minOf(avail, len);
        // From itself, a piece never makes the blocks switch while it is being read.
        if (from == this) n = minOf(n, blockSize_ - current().used);
        if (append(p, n) != koSuccess) return koFailure;
        offset += n;
        len -= n;
    }
    return koSuccess;
}
