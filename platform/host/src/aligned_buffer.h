// Host-owned storage for signals, DWorks and RTPs: zeroed, 64-byte aligned, never moved once sized, so
// pointers handed to a block stay valid until the buffer is resized or destroyed.
#pragma once

#include <cstddef>
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
    AlignedBuffer(AlignedBuffer&& o) noexcept : data_(o.data_), size_(o.size_) {
        o.data_ = nullptr;
        o.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& o) noexcept {
        if (this != &o) {
            std::free(data_);
            data_ = o.data_;
            size_ = o.size_;
            o.data_ = nullptr;
            o.size_ = 0;
        }
        return *this;
    }
    ~AlignedBuffer() { std::free(data_); }

    // Zeroed storage of at least one cache line, so even an empty signal has a valid pointer.
    void resize(size_t bytes) {
        std::free(data_);
        data_ = nullptr;
        size_ = bytes;
        size_t rounded = ((bytes + 63) / 64) * 64;
        if (rounded == 0) rounded = 64;
        data_ = static_cast<unsigned char*>(std::aligned_alloc(64, rounded));
        if (!data_) {
            size_ = 0;
            throw std::bad_alloc();
        }
        std::memset(data_, 0, rounded);
    }
    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }
    bool allocated() const { return data_ != nullptr; }

  private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

}  // namespace dravo::host::detail
