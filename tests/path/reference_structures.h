// The plain structures of the reference planner: the closed set as a chained
// table and the open list as a fixed ring buffer. The runtime's planner uses an
// indexed heap instead; these stay with the test that compares the two.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "runtime/path/planner.h"

namespace corvane {

// Closed set as 2^bits chained buckets keyed by the low bits of x and y.
class NodeHashTable {
public:
    struct Cursor {
        std::uint32_t bucket = 0;
        Node** link = nullptr;          // the link that points at the found node
    };

    NodeHashTable() = default;
    NodeHashTable(const NodeHashTable& other);               // duplicates the buckets; nodes are shared
    NodeHashTable& operator=(const NodeHashTable& other);
    virtual ~NodeHashTable() = default;

    bool Init(std::int32_t bits);       // above 24 -> 24, odd -> one less, below 0 -> 0; all buckets empty
    std::uint32_t BucketOf(std::int32_t x, std::int32_t y) const;
    bool Insert(Node* node);            // false if this very node is already in its chain
    Node* Find(std::int32_t x, std::int32_t y, Cursor& cursor);  // null when absent
    void UnlinkFound(const Cursor& cursor);                      // removes the node Find returned
    void Clear();                       // every bucket emptied (the nodes are not touched)
    std::int32_t Bits() const { return bits; }
    std::uint32_t BucketCount() const { return buckets ? 1u << bits : 0u; }
    Node* BucketHead(std::uint32_t bucket) const { return bucket < BucketCount() ? buckets[bucket] : nullptr; }

private:
    std::unique_ptr<Node*[]> buckets;
    std::int32_t bits = 0;
};

// Fixed-capacity ring buffer. A full deque has head == tail and empty == 0.
template <typename T>
class FixedDeque {
public:
    FixedDeque() = default;
    FixedDeque(const FixedDeque&) = delete;
    FixedDeque& operator=(const FixedDeque&) = delete;
    virtual ~FixedDeque() = default;

    bool Init(std::int32_t newCapacity) {
        items.reset();
        scratch.reset();
        capacity = 0;
        if (newCapacity > 0) {
            items.reset(new (std::nothrow) T[newCapacity]);
            scratch.reset(new (std::nothrow) T[newCapacity]);
            if (!items || !scratch) {
                items.reset();
                scratch.reset();
                Clear();
                return false;
            }
            capacity = newCapacity;
        }
        Clear();
        return true;
    }
    void Clear() { head = tail = 0; empty = 1; }
    std::int32_t Capacity() const { return capacity; }
    std::int32_t Size() const {
        if (empty) return 0;
        return head < tail ? tail - head : capacity + tail - head;
    }
    bool IsEmpty() const { return empty != 0; }
    bool IsFull() const { return Size() == capacity; }

    bool PushBack(const T& value) {
        if (IsFull()) return false;
        items[tail] = value;
        tail = (tail + 1) % capacity;
        empty = 0;
        return true;
    }
    bool PushFront(const T& value) {
        if (IsFull()) return false;
        head = (head + capacity - 1) % capacity;
        items[head] = value;
        empty = 0;
        return true;
    }
    bool PopBack() {
        if (empty) return false;
        tail = (tail + capacity - 1) % capacity;
        if (tail == head) empty = 1;
        return true;
    }
    bool PopFront() {
        if (empty) return false;
        head = (head + 1) % capacity;
        if (tail == head) empty = 1;
        return true;
    }
    // Out-of-range positions read as a default value rather than stale slots.
    T Back() const { return empty ? T{} : items[(tail + capacity - 1) % capacity]; }
    T At(std::int32_t i) const {
        if (i < 0 || i >= Size()) return T{};
        return items[(head + i) % capacity];
    }

    bool InsertAt(std::int32_t i, const T& value) {
        const std::int32_t size = Size();
        if (size == capacity || i < 0 || i > size) return false;
        if (i == size) return PushBack(value);
        if (i == 0) return PushFront(value);
        const std::int32_t moved = size - i;
        for (std::int32_t k = 0; k < moved; ++k) scratch[k] = items[(head + i + k) % capacity];
        items[(head + i) % capacity] = value;
        for (std::int32_t k = 0; k < moved; ++k) items[(head + i + 1 + k) % capacity] = scratch[k];
        tail = (tail + 1) % capacity;
        return true;
    }
    bool EraseAt(std::int32_t i) {
        const std::int32_t size = Size();
        if (empty || i < 0 || i >= size) return false;
        if (i == size - 1) return PopBack();
        if (i == 0) return PopFront();
        const std::int32_t moved = size - i - 1;
        for (std::int32_t k = 0; k < moved; ++k) scratch[k] = items[(head + i + 1 + k) % capacity];
        for (std::int32_t k = 0; k < moved; ++k) items[(head + i + k) % capacity] = scratch[k];
        tail = (tail + capacity - 1) % capacity;
        return true;
    }

private:
    std::unique_ptr<T[]> items;
    std::unique_ptr<T[]> scratch;
    std::int32_t capacity = 0;
    std::int32_t head = 0;
    std::int32_t tail = 0;
    std::uint8_t empty = 1;
};

inline NodeHashTable::NodeHashTable(const NodeHashTable& other) { *this = other; }

inline NodeHashTable& NodeHashTable::operator=(const NodeHashTable& other) {
    if (this == &other) return *this;
    bits = other.bits;
    buckets.reset();
    if (other.buckets) {
        const std::uint32_t count = other.BucketCount();
        buckets.reset(new Node*[count]);
        std::copy(other.buckets.get(), other.buckets.get() + count, buckets.get());
    }
    return *this;
}

inline bool NodeHashTable::Init(std::int32_t newBits) {
    newBits = std::clamp<std::int32_t>(newBits, 0, 24);
    newBits &= ~1;
    buckets.reset(new (std::nothrow) Node*[std::size_t{1} << newBits]);
    bits = newBits;
    if (!buckets) return false;
    Clear();
    return true;
}

inline std::uint32_t NodeHashTable::BucketOf(std::int32_t x, std::int32_t y) const {
    const int shift = bits / 2;
    const std::uint32_t mask = (1u << shift) - 1u;
    return (static_cast<std::uint32_t>(x) & mask) | ((static_cast<std::uint32_t>(y) & mask) << shift);
}

inline bool NodeHashTable::Insert(Node* node) {
    if (!buckets || !node) return false;
    Node*& head = buckets[BucketOf(node->x, node->y)];
    for (Node* n = head; n; n = n->nextInBucket)
        if (n == node) return false;
    node->nextInBucket = head;
    head = node;
    return true;
}

inline Node* NodeHashTable::Find(std::int32_t x, std::int32_t y, Cursor& cursor) {
    cursor = Cursor{};
    if (!buckets) return nullptr;
    cursor.bucket = BucketOf(x, y);
    for (Node** link = &buckets[cursor.bucket]; *link; link = &(*link)->nextInBucket) {
        if ((*link)->x == x && (*link)->y == y) {
            cursor.link = link;
            return *link;
        }
    }
    return nullptr;
}

inline void NodeHashTable::UnlinkFound(const Cursor& cursor) {
    if (!cursor.link || !*cursor.link) return;
    *cursor.link = (*cursor.link)->nextInBucket;
}

inline void NodeHashTable::Clear() {
    if (buckets) std::fill(buckets.get(), buckets.get() + BucketCount(), nullptr);
}

} // namespace corvane
