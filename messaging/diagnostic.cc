#include "messaging/diagnostic.h"

#include <iostream>
#include <mutex>
#include <string>

namespace halvex {

void PrintDiagnosticLine(std::string_view line) {
  std::string text(line);
  text.push_back('\n');
  // Replies may fail on any thread; one line must never be interleaved with another.
  static std::mutex stream_mutex;
  std::lock_guard<std::mutex> lock(stream_mutex);
  std::cerr << text << std::flush;
}

}  // namespace halvex
