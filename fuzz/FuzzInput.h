// SPDX-License-Identifier: MIT
// Reads fuzzer bytes as choices; past the end every choice is 0.
#pragma once

#include <cstddef>
#include <cstdint>

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint32_t Number(int bytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | Byte();
        return value;
    }
    bool Empty() const { return at_ >= size_; }
    std::size_t Remaining() const { return at_ < size_ ? size_ - at_ : 0; }
    const std::uint8_t* Here() const { return data_ + at_; }
    void Skip(std::size_t n) { at_ += n; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

#define FUZZ_CHECK(condition) \
    do {                      \
        if (!(condition)) __builtin_trap(); \
    } while (0)
