// A Stream over bytes in memory: an archive member, a resource, a block of a larger
// document, or (in write mode) a growing buffer kept as a rope of pieces.
#pragma once

#include "Core/Object.h"
#include "Core/Stream.h"
#include "Core/String.h"
#include "Core/ValueTypes.h"

// A byte sequence kept as a weight-balanced binary tree whose leaves hold pieces of at
// most `PieceLimit()` bytes, threaded in order. Writing in the middle of a long
// sequence moves at most one piece, never the whole tail.
class ByteRope {
public:
    static constexpr u32 kDefaultPieceLimit = 16384;

    explicit ByteRope(u32 pieceLimit = kDefaultPieceLimit);
    ByteRope(const ByteRope&) = delete;
    ByteRope& operator=(const ByteRope&) = delete;
    ~ByteRope();

    u32 Size() const;
    u32 PieceCount() const { return leafCount; }
    u32 PieceLimit() const { return limit; }

    void Clear();
    // Empties the rope and makes the n bytes its only contents.
    bool Assign(const void* bytes, u32 n);
    // Puts n bytes before byte index `at`; a negative index, or one at or past the end,
    // appends. False (and the rope unchanged) when memory runs out.
    bool Insert(i64 at, const void* bytes, u32 n);
    // Removes bytes first..last, both inclusive. Negative indices count from the end
    // (-1 is the last byte); `last` is cut at the last byte; nothing happens when `first`
    // is past the end or `last` is before `first`.
    void Remove(i64 first, i64 last);
    // Copies up to n bytes from index `at` on into out; returns the count copied.
    u32 CopyOut(u32 at, void* out, u32 n) const;
    // Bytes first..last (indices as for Remove) as a new, terminated String.
    String Take(i64 first, i64 last) const;

    // For checks: the number of levels of the tree (0 when empty), and whether every
    // count, link, thread and piece bound holds.
    u32 Height() const;
    bool Verify() const;

private:
    struct Node;

    Node* Locate(u32 index, u32* offset) const;
    void AttachAfter(Node* leaf, Node* added, Node* inner);
    void Detach(Node* leaf);
    void FixUp(Node* from);
    Node* Rebalance(Node* node);
    void RotateRight(Node* node);
    void RotateLeft(Node* node);
    void ReplaceChild(Node* parent, Node* old, Node* replacement);
    bool Clamp(i64* first, i64* last) const;

    Node* root = nullptr;
    Node* first = nullptr;  // the leaf thread: first and last piece in order
    Node* last = nullptr;
    u32 leafCount = 0;
    u32 limit;
};

class ArchiveStream : public Stream {
public:
    ArchiveStream() = default;
    ArchiveStream(const ArchiveStream&) = delete;
    ArchiveStream& operator=(const ArchiveStream&) = delete;
    ~ArchiveStream() override = default;

    // Ignores the name; keeps the mode and rewinds. The creator fills the bytes (or the
    // write buffer) right after.
    bool Open(const String& name, u32 mode) override;
    bool Close() override;
    // Positions are reported and sought (from the start) in the coordinates of the
    // larger file the bytes belong to: the first byte is at `Base()`.
    i32 Tell() override;
    i32 Size() override;
    // Refused (false, position kept) when the target lies before the first byte or past
    // the end; seeking to exactly the end is allowed.
    bool Seek(i32 offset, u32 origin) override;
    bool Eof() override;
    u32 Read(void* buffer, u32 count) override;
    // Always writes into the write buffer, whatever the mode: the bytes under the
    // position are replaced, and the buffer grows past its end as needed.
    u32 Write(const void* buffer, u32 count) override;

    void SetBase(u32 value) { base = value; }
    u32 Base() const { return base; }
    u32 Mode() const { return mode; }

    // The readable bytes. Borrowed bytes must outlive the stream; adopted ones come from
    // MemAlloc and are freed with it; copied ones are the stream's own; shared ones lie
    // inside a block whose ownership the stream shares, so they live as long as it does.
    void BorrowBytes(const void* data, u32 n);
    void AdoptBytes(void* data, u32 n);
    bool CopyBytes(const void* data, u32 n);
    void ShareBytes(const RefHandle<Blob>& owner, const void* data, u32 n);
    const String& Bytes() const { return bytes; }
    bool BytesBorrowed() const { return bytes.borrowed != 0; }

    // Empties the write buffer and makes the text its only contents.
    bool AssignBuffer(const String& text);
    bool AssignBuffer(const void* data, u32 n);
    const ByteRope& WriteBuffer() const { return buffer; }

private:
    u32 SizeNow() const;

    String bytes;
    RefHandle<Blob> keeper;  // the block that shared bytes lie in
    ByteRope buffer;
    u32 mode = 0;
    u32 base = 0;
    u32 position = 0;
    u8 atEnd = 0;
};
