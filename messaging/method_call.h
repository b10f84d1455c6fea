#ifndef HALVEX_MESSAGING_METHOD_CALL_H_
#define HALVEX_MESSAGING_METHOD_CALL_H_

#include <memory>
#include <string>

#include "messaging/encodable_value.h"

namespace flutter {

// A decoded method call: the method's name and its arguments.
class MethodCall {
 public:
  MethodCall(const std::string& method_name, std::unique_ptr<EncodableValue> arguments);
  virtual ~MethodCall();

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }
  // nullptr when the call was made without arguments; a decoded call always has them.
  const EncodableValue* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<EncodableValue> arguments_;
};

}  // namespace flutter

#endif  // HALVEX_MESSAGING_METHOD_CALL_H_
