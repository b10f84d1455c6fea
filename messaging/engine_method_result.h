#ifndef HALVEX_MESSAGING_ENGINE_METHOD_RESULT_H_
#define HALVEX_MESSAGING_ENGINE_METHOD_RESULT_H_

#include <memory>
#include <string>

#include "messaging/binary_messenger.h"
#include "messaging/method_codec.h"
#include "messaging/method_result.h"
#include "messaging/one_shot_reply.h"

namespace flutter {

// Answers a method call by encoding the answer with the channel's codec and sending it as the
// message's one reply. Not-implemented is a reply of no bytes.
class EngineMethodResult : public MethodResult {
 public:
  // `codec` is not owned and must outlive the result.
  EngineMethodResult(BinaryReply reply, const MethodCodec* codec);
  ~EngineMethodResult() override;

 protected:
  void SuccessInternal(const EncodableValue* result) override;
  void ErrorInternal(const std::string& error_code,
                     const std::string& error_message,
                     const EncodableValue* error_details) override;
  void NotImplementedInternal() override;

 private:
  std::unique_ptr<OneShotReply> reply_;
  const MethodCodec* codec_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_ENGINE_METHOD_RESULT_H_
