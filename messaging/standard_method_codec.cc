#include "messaging/standard_method_codec.h"

#include <map>
#include <mutex>
#include <utility>

#include "messaging/byte_buffer_streams.h"
#include "messaging/diagnostic.h"

namespace flutter {
namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  // Codecs are never removed, so a returned reference stays valid after the lock is gone.
  static std::mutex registry_mutex;
  static std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>> registry;
  std::lock_guard<std::mutex> lock(registry_mutex);
  std::unique_ptr<StandardMethodCodec>& codec = registry[serializer];
  if (!codec) {
    codec.reset(new StandardMethodCodec(serializer));
  }
  return *codec;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

std::unique_ptr<MethodCall> StandardMethodCodec::DecodeMethodCall(const uint8_t* message,
                                                                  size_t message_size) const {
  ByteBufferStreamReader reader(message, message_size);
  EncodableValue method_name = serializer_->ReadValue(&reader);
  const auto* name = std::get_if<std::string>(&method_name);
  if (name == nullptr) {
    halvex::PrintDiagnosticLine("Invalid method call; method name is not a string.");
    return nullptr;
  }
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&reader));
  return std::make_unique<MethodCall>(*name, std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCall(
    const MethodCall& method_call) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(bytes.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &writer);
  if (method_call.arguments() != nullptr) {
    serializer_->WriteValue(*method_call.arguments(), &writer);
  } else {
    serializer_->WriteValue(EncodableValue(), &writer);
  }
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelope(
    const EncodableValue* result) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(bytes.get());
  writer.WriteByte(kSuccessEnvelope);
  serializer_->WriteValue(result != nullptr ? *result : EncodableValue(), &writer);
  return bytes;
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelope(
    const std::string& error_code,
    const std::string& error_message,
    const EncodableValue* error_details) const {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter writer(bytes.get());
  writer.WriteByte(kErrorEnvelope);
  serializer_->WriteValue(EncodableValue(error_code), &writer);
  serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message),
                          &writer);
  serializer_->WriteValue(error_details != nullptr ? *error_details : EncodableValue(), &writer);
  return bytes;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelope(const uint8_t* response,
                                                           size_t response_size,
                                                           MethodResult* result) const {
  if (result == nullptr) {
    return false;
  }
  ByteBufferStreamReader reader(response, response_size);
  uint8_t envelope = reader.ReadByte();
  if (envelope == kSuccessEnvelope) {
    EncodableValue value = serializer_->ReadValue(&reader);
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
    return true;
  }
  if (envelope != kErrorEnvelope) {
    return false;
  }
  // All three are read before any is looked at.
  EncodableValue code = serializer_->ReadValue(&reader);
  EncodableValue message = serializer_->ReadValue(&reader);
  EncodableValue details = serializer_->ReadValue(&reader);
  const auto* code_text = std::get_if<std::string>(&code);
  const auto* message_text = std::get_if<std::string>(&message);
  if (code_text == nullptr || (message_text == nullptr && !message.IsNull())) {
    return false;
  }
  const std::string error_message = message_text != nullptr ? *message_text : std::string();
  if (details.IsNull()) {
    result->Error(*code_text, error_message);
  } else {
    result->Error(*code_text, error_message, details);
  }
  return true;
}

}  // namespace flutter
