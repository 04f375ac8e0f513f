#include "ftp/inet/write_behind.h"

#include <fcntl.h>

namespace inet {

namespace {
constexpr off_t kStep = 1 << 20;
}  // namespace

WriteBehind::WriteBehind(int fd) : fd_(fd), thread_(&WriteBehind::Run, this) {}

WriteBehind::~WriteBehind() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void WriteBehind::Written(off_t end) {
  if (end - posted_ < kStep) return;
  posted_ = end;
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    // Woken only from its wait, the thread costs the writer no system call
    // while it is busy.
    wake = written_ == started_;
    written_ = end;
  }
  if (wake) changed_.notify_one();
}

// Only a hint: a failure shows at the final sync.
void WriteBehind::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return written_ > started_ || stopping_; });
    if (stopping_) return;
    const off_t start = started_, end = written_;
    lock.unlock();
    ::sync_file_range(fd_, start, end - start, SYNC_FILE_RANGE_WRITE);
    lock.lock();
    started_ = end;
  }
}

}  // namespace inet
