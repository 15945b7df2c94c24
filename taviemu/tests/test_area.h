// A program area on the heap for tests that call the loader and the
// translators directly: the program sees it at linear 0x10000, as it does in
// the runner, and the CPU record starts clear.
#pragma once

#include "tavi.h"

#include <cstring>
#include <vector>

namespace taviemu {

class TestArea {
  public:
    TestArea() : bytes_(kAreaSize, 0) {
        tavi_base = bytes_.data();
        tavi_linear = kAreaAddress;
        tavi_cpu = vm86::Record{};
        tavi_bss_end = tavi_brk = 0;
        tavi_data_segment = tavi_stack_start = 0;
    }
    ~TestArea() { tavi_base = nullptr; }
    TestArea(const TestArea &) = delete;
    TestArea &operator=(const TestArea &) = delete;

    // The byte at 16-bit address seg:off.
    uint8_t *at(uint16_t seg, uint32_t off) {
        return bytes_.data() + (static_cast<uint32_t>(seg) * 16 + off - kAreaAddress);
    }
    void fill(uint8_t value) { std::memset(bytes_.data(), value, bytes_.size()); }
    const std::vector<uint8_t> &bytes() const { return bytes_; }

  private:
    std::vector<uint8_t> bytes_;
};

} // namespace taviemu
