// A full disk, simulated for one scope: files this process writes may not grow past a limit.
#ifndef HALVEX_TESTS_MEDIA_FILE_SIZE_LIMIT_H_
#define HALVEX_TESTS_MEDIA_FILE_SIZE_LIMIT_H_

#include <sys/resource.h>

#include <csignal>

namespace halvex::media_testing {

// Lets this process write no file beyond `bytes`; a write past it fails with EFBIG instead of
// raising SIGXFSZ. The limit and the signal's handling are restored when the scope ends.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = SIG_DFL;
};

}  // namespace halvex::media_testing

#endif  // HALVEX_TESTS_MEDIA_FILE_SIZE_LIMIT_H_
