#pragma once
// A growable byte stream, written mostly at its end, that keeps its newest bytes in two alternating
// memory blocks and moves older ones to a private temporary file, so that a message of any size is
// built or received with at most four block sizes of memory. Besides appending and reading by offset
// it overwrites bytes anywhere, hands out pointers into its data, copies from another stream, appends
// big-endian integers and moves data to and from a KoTCPIP connection.
//
// The stream is: bytes 0 up to the flushed length in the file, then the older block, then the
// current block. Not safe for use by several threads at once.
#include <cstdint>
#include "foundation/containers/koobject.h"
#include "foundation/errors/kostatus.h"

class KoTCPIP;

class KO_EXPORT BlkTmpFile : public KoObject {
public:
    // The most bytes a stream holds (the file is addressed with signed 32-bit offsets).
    static constexpr uint32_t maxLength = 0x7FFFFFFFu;

    // Records the block size (32,768 by default); allocates nothing.
    BlkTmpFile();
    explicit BlkTmpFile(uint32_t blockSize);
    // Frees the buffers; closes and deletes the temporary file.
    ~BlkTmpFile() override;
    BlkTmpFile(const BlkTmpFile&) = delete;
    BlkTmpFile& operator=(const BlkTmpFile&) = delete;

    // Allocates both blocks; 1 when memory is short (nothing is kept then). Appending and receiving
    // call it themselves when it has not been called.
    KoStatus initialize();
    // Empties the stream; keeps the memory and the file, which is overwritten from offset 0.
    void clear();

    // Appends len bytes. 1 when the file cannot be written (the bytes before the failing flush stay
    // appended) or the stream would pass maxLength (nothing is appended).
    KoStatus append(const void* src, uint32_t len);
    // Append the value most significant byte first; each advances the current location by its size.
    KoStatus appendInt8(uint8_t v);
    KoStatus appendInt16(uint16_t v);
    KoStatus appendInt32(uint32_t v);
    KoStatus appendInt64(uint64_t v);

    // Overwrites len bytes at offset; the part beyond the end of the stream is appended. 1 when
    // offset is beyond the total length or a transfer fails.
    KoStatus write(uint32_t offset, const void* src, uint32_t len);
    // Copies len bytes at offset out; 1 when the stream does not hold them or the file cannot be read.
    KoStatus read(uint32_t offset, void* dst, uint32_t len);
    // read at the current location, which then advances by len.
    KoStatus readCurLoc(void* dst, uint32_t len);

    // *pointer = the byte at offset, *avail = the number of contiguous bytes from it. With forWrite
    // not 0 the caller may change them; changes to file-resident bytes are written back by the next
    // tmpPointer call and are seen by reads and sends meanwhile. The pointer is valid until the next
    // operation on the stream. 1 when offset is not inside the stream or the file fails.
    KoStatus tmpPointer(uint32_t offset, unsigned char** pointer, uint32_t* avail, uint16_t forWrite);
    // Appends len bytes of from (which may be this stream) starting at offset.
    KoStatus copy(uint32_t offset, BlkTmpFile* from, uint32_t len);

    // Receives from the connection until len bytes have arrived; all bytes received, also any beyond
    // len that came in the same receive, are appended. A receive that times out is repeated. 1 when
    // the connection fails or closes first (the bytes received stay appended), when the file fails,
    // or when len would take the stream past maxLength (refused and reported before receiving).
    KoStatus appendFromWire(KoTCPIP* conn, uint32_t len, int unused = 0);
    // Sends len bytes from offset. 1 when the stream does not hold them, a send fails or the file
    // cannot be read. Without a trace the file's bytes go to the connection straight from the file.
    KoStatus writeToWire(uint32_t offset, KoTCPIP* conn, uint32_t len, int unused = 0);

    uint32_t getBlockSize() const { return blockSize_; }
    uint32_t getTotalLength() const { return totalLength_; }
    uint32_t getCurrentLocation() const { return curLoc_; }
    void setCurrentLocation(uint32_t offset) { curLoc_ = offset; }
    // Bytes of the stream in the file, in the older block and in the current block.
    uint32_t getFlushedLength() const { return flushed_; }
    uint32_t getOlderUsed() const { return blocks_[cur_ ^ 1].used; }
    uint32_t getCurrentUsed() const { return blocks_[cur_].used; }
    // Name of the temporary file, empty before the first flush.
    const unsigned char* getFileName() const;

private:
    struct Block {
        unsigned char* data;
        uint32_t used;
        uint32_t start;
    };

    Block& current() { return blocks_[cur_]; }
    Block& older() { return blocks_[cur_ ^ 1]; }
    // Moves the older block to the file and makes it the new, empty current block.
    KoStatus switchBlocks();
    KoStatus flushOlder();
    KoStatus ensureFile();
    KoStatus ensureBuffer(unsigned char** buffer);
    // Writes file-resident bytes and keeps the pointer buffer and read cache in step with them.
    KoStatus writeFile(uint32_t offset, const unsigned char* src, uint32_t len);
    KoStatus writeBackPointer();
    // The longest run of file-resident bytes at offset (at most len) that is served from one buffer:
    // *from points to them, or is null when they must come from the file itself (then the run stops
    // where a buffer begins).
    // Without cached, the read cache is passed over (its bytes are the file's anyway).
    uint32_t fileRun(uint32_t offset, uint32_t len, const unsigned char** from, bool cached = true);
    KoStatus loadCache(uint32_t offset);
    void appendToBlock(const unsigned char* src, uint32_t len);
    KoStatus receiveInto(KoTCPIP* conn, uint32_t ask, uint32_t* got);
    // Receives into the current block's free room and on into the (empty) older block, which then
    // becomes current as after a switch.
    KoStatus receiveAcross(KoTCPIP* conn, uint32_t* got);

    Block blocks_[2] = {};
    uint16_t cur_ = 0;
    uint32_t blockSize_;
    uint32_t totalLength_ = 0;
    uint32_t curLoc_ = 0;
    int fileHandle_ = 0;
    unsigned char* fileName_ = nullptr;
    uint32_t flushed_ = 0;
    unsigned char* ptrData_ = nullptr;
    uint32_t ptrValid_ = 0;
    uint32_t ptrOffset_ = 0;
    uint16_t ptrWrite_ = 0;
    unsigned char* cacheData_ = nullptr;
    uint32_t cacheValid_ = 0;
    uint32_t cacheOffset_ = 0;
    KoTCPIP* conn_ = nullptr;
};
