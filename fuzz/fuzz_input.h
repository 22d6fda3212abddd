// Splits a fuzzer's input into the pieces a target needs, never reading past
// its end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }

    // Bytes up to the next NUL (dropped) or the end, at most max of them.
    std::string text(size_t max) {
        std::string out;
        while (pos_ < size_ && out.size() < max) {
            const char c = char(data_[pos_++]);
            if (c == '\0') break;
            out += c;
        }
        return out;
    }

    const uint8_t* rest() const { return data_ + pos_; }
    size_t remaining() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};
