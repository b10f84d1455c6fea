#ifndef HALVEX_MESSAGING_METHOD_RESULT_H_
#define HALVEX_MESSAGING_METHOD_RESULT_H_

#include <string>

#include "messaging/encodable_value.h"

namespace flutter {

// How a method call is answered: one success, error or not-implemented answer.
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult();

  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  void Success(const EncodableValue& result);
  // A success without a result value; it reaches the caller as null.
  void Success();
  void Error(const std::string& error_code, const std::string& error_message = "");
  void Error(const std::string& error_code,
             const std::string& error_message,
             const EncodableValue& error_details);
  void NotImplemented();

 protected:
  // `result` and `error_details` are nullptr when there is none.
  virtual void SuccessInternal(const EncodableValue* result) = 0;
  virtual void ErrorInternal(const std::string& error_code,
                             const std::string& error_message,
                             const EncodableValue* error_details) = 0;
  virtual void NotImplementedInternal() = 0;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_METHOD_RESULT_H_
