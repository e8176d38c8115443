// Host-owned storage for signals, DWorks and RTPs: zeroed, 64-byte aligned, never moved once sized, so
// pointers handed to a block stay valid until the buffer is resized or destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include <sys/mman.h>

namespace dravo::host::detail {

class AlignedBuffer {
  public:
    AlignedBuffer() = default;
    explicit AlignedBuffer(size_t bytes) { resize(bytes); }
    AlignedBuffer(const AlignedBuffer&) = delete;
    AlignedBuffer& operator=(const AlignedBuffer&) = delete;
    AlignedBuffer(AlignedBuffer&& o) noexcept
        : raw_(o.raw_), data_(o.data_), size_(o.size_), mapped_(o.mapped_) {
        o.mapped_ = 0;
        o.raw_ = nullptr;
        o.data_ = nullptr;
        o.size_ = 0;
    }
    AlignedBuffer& operator=(AlignedBuffer&& o) noexcept {
        if (this != &o) {
            release();
            raw_ = o.raw_;
            data_ = o.data_;
            size_ = o.size_;
            mapped_ = o.mapped_;
            o.mapped_ = 0;
            o.raw_ = nullptr;
            o.data_ = nullptr;
            o.size_ = 0;
        }
        return *this;
    }
    ~AlignedBuffer() { release(); }

    // Zeroed storage of at least one cache line, so even an empty signal has a valid pointer. calloc
    // rather than an aligned allocation and memset: large blocks come from the kernel already zero, so
    // their pages are touched first by whoever fills them (the input reader, the block), not twice.
    void resize(size_t bytes) {
        release();
        size_ = bytes;
        size_t rounded = ((bytes + kAlign - 1) / kAlign) * kAlign;
        if (rounded == 0) rounded = kAlign;
        if (rounded >= kLargePageBytes) {
            // Frame-sized buffers in large pages: one fault per 2 MiB instead of one per 4 KiB, which is
            // most of a big run's system time. Fresh anonymous mappings are zero.
            size_t length = ((rounded + kLargePageBytes - 1) / kLargePageBytes) * kLargePageBytes;
            void* p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (p != MAP_FAILED) {
#ifdef MADV_HUGEPAGE
                madvise(p, length, MADV_HUGEPAGE);
#endif
                mapped_ = length;
                raw_ = data_ = static_cast<unsigned char*>(p);
                return;
            }
        }
        raw_ = static_cast<unsigned char*>(std::calloc(1, rounded + kAlign));
        if (!raw_) {
            size_ = 0;
            throw std::bad_alloc();
        }
        size_t misalign = reinterpret_cast<uintptr_t>(raw_) % kAlign;
        data_ = raw_ + (misalign ? kAlign - misalign : 0);
    }
    unsigned char* data() {
        return data_;
    }
    const unsigned char* data() const {
        return data_;
    }
    size_t size() const {
        return size_;
    }
    bool allocated() const {
        return data_ != nullptr;
    }

  private:
    void release() {
        if (mapped_)
            munmap(raw_, mapped_);
        else
            std::free(raw_);
        raw_ = nullptr;
        data_ = nullptr;
        mapped_ = 0;
    }

    static constexpr size_t kAlign = 64;
    static constexpr size_t kLargePageBytes = size_t{2} << 20;
    unsigned char* raw_ = nullptr;  // what calloc gave
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
    size_t mapped_ = 0;  // length of our own mapping, 0 when raw_ came from calloc
};

}  // namespace dravo::host::detail
