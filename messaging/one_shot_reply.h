#ifndef HALVEX_MESSAGING_ONE_SHOT_REPLY_H_
#define HALVEX_MESSAGING_ONE_SHOT_REPLY_H_

#include <cstdint>
#include <vector>

#include "messaging/binary_messenger.h"

namespace flutter {

// Lets a message be answered once. A second answer, or none at all, is reported on std::cerr
// and sends nothing. Not locked: one result must not be answered from two threads at once.
class OneShotReply {
 public:
  explicit OneShotReply(BinaryReply reply);
  ~OneShotReply();

  OneShotReply(const OneShotReply&) = delete;
  OneShotReply& operator=(const OneShotReply&) = delete;

  // Sends `reply` (nullptr or empty: a reply of no bytes, with no pointer).
  void Respond(const std::vector<uint8_t>* reply);

 private:
  BinaryReply reply_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_ONE_SHOT_REPLY_H_
