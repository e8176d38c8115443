// Host-owned storage for signals, DWorks and RTPs: zeroed, 64-byte aligned, never moved once sized, so
// pointers handed to a block stay valid until the buffer is resized or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

namespace dravo::host::detail {

class AlignedBuffer {
  public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes) { resize(bytes); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& o) noexcept : raw_(o.raw_), data_(o.data_), size_(o.size_) {
        o.raw_ = nullptr;
        o.data_ = nullptr;
        o.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& o) noexcept {
        if (this != &o) {
            std::free(raw_);
            raw_ = o.raw_;
            data_ = o.data_;
            size_ = o.size_;
            o.raw_ = nullptr;
            o.data_ = nullptr;
            o.size_ = 0;
        }
        return *this;
    }
    ~AlignedBuffer() { std::free(raw_); }

    // Zeroed storage of at least one cache line, so even an empty signal has a valid pointer. calloc
    // rather than an aligned allocation and memset: large blocks come from the kernel already zero, so
    // their pages are touched first by whoever fills them (the input reader, the block), not twice.
    void resize(size_t bytes) {
        std::free(raw_);
        raw_ = nullptr;
        data_ = nullptr;
        size_ = bytes;
        size_t rounded = ((bytes + kAlign - 1) / kAlign) * kAlign;
        if (rounded == 0) rounded = kAlign;
        raw_ = static_cast<unsigned char*>(std::calloc(1, rounded + kAlign));
        if (!raw_) {
            size_ = 0;
            throw std::bad_alloc();
        }
        size_t misalign = reinterpret_cast<uintptr_t>(raw_) % kAlign;
        data_ = raw_ + (misalign ? kAlign - misalign : 0);
    }
    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    bool allocated() const { return data_ != nullptr; }

  private:
    static constexpr size_t kAlign = 64;
    unsigned char* raw_ = nullptr;  // what calloc gave
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace dravo::host::detail
