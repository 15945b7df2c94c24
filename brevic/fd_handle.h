// Owns one open file descriptor and closes it when it goes out of scope.
#pragma once

#include <unistd.h>

namespace brevic {

class fd_handle {
  public:
    explicit fd_handle(int fd) : fd_(fd) {}
    ~fd_handle() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    fd_handle(const fd_handle &) = delete;
    fd_handle &operator=(const fd_handle &) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

  private:
    int fd_;
};

} // namespace brevic
