#include "platform/linux/descriptor.h"

#include <unistd.h>

#include <cerrno>

namespace zek {

void UniqueFd::Reset(int fd) {
  if (fd_ >= 0) {
    const int error = errno;
    ::close(fd_);
    errno = error;
  }
  fd_ = fd;
}

int UniqueFd::Close() {
  const int fd = Release();
  return fd >= 0 && ::close(fd) != 0 ? LastError() : 0;
}

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t put = write(fd, data.data(), data.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data.remove_prefix(static_cast<size_t>(put));
  }
  return 0;
}

int LastError() { return errno != 0 ? errno : EIO; }

}  // namespace zek
