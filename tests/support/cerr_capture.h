#ifndef HALVEX_TESTS_SUPPORT_CERR_CAPTURE_H_
#define HALVEX_TESTS_SUPPORT_CERR_CAPTURE_H_

#include <iostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace halvex::testing {

// Collects what is written to std::cerr while it lives. Other threads may write too, as long as
// they are done (joined) before the capture is read or destroyed.
class CerrCapture {
 public:
  CerrCapture() : previous_(std::cerr.rdbuf(captured_.rdbuf())) {}
  ~CerrCapture() { std::cerr.rdbuf(previous_); }

  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;

  std::string text() const { return captured_.str(); }

  // The complete lines written so far; text after the last newline is not a line yet.
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    std::string all = captured_.str();
    size_t start = 0;
    for (size_t end = all.find('\n'); end != std::string::npos; end = all.find('\n', start)) {
      result.push_back(all.substr(start, end - start));
      start = end + 1;
    }
    return result;
  }

  void Clear() { captured_.str(std::string()); }

 private:
  std::ostringstream captured_;
  std::streambuf* previous_;
};

}  // namespace halvex::testing

#endif  // HALVEX_TESTS_SUPPORT_CERR_CAPTURE_H_
