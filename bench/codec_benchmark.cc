// The standard codec on the recorder channel's calls: an "appendPng" call carrying a 3 MB PNG,
// decoded and encoded, against memcpy of the same bytes; and a "stop" call decoded, handled and
// answered end to end, with the heap allocations it makes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/comparison_report.h"
#include "bench/direct_messenger.h"
#include "messaging/encodable_value.h"
#include "messaging/method_call.h"
#include "messaging/standard_method_codec.h"
#include "recorder/recorder_channel.h"

namespace halvex::bench {
namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr size_t kPngBytes = 3 * 1000 * 1000;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

// The bytes of a PNG as far as the codec is concerned: the signature, then data.
std::vector<uint8_t> PngLikeBytes() {
  std::vector<uint8_t> bytes(kPngBytes);
  uint32_t state = 12345;
  for (uint8_t& byte : bytes) {
    state = state * 1664525u + 1013904223u;
    byte = static_cast<uint8_t>(state >> 24);
  }
  const uint8_t signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  std::memcpy(bytes.data(), signature, sizeof(signature));
  return bytes;
}

flutter::MethodCall AppendPngCall() {
  return flutter::MethodCall(
      "appendPng", std::make_unique<EncodableValue>(
                       EncodableMap{{EncodableValue("bytes"), EncodableValue(PngLikeBytes())}}));
}

void ReportAllocations(benchmark::State& state, uint64_t before) {
  state.counters["allocs/call"] = benchmark::Counter(
      static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations()));
}

void DecodeAppendPng(benchmark::State& state) {
  const std::unique_ptr<std::vector<uint8_t>> message = Codec().EncodeMethodCall(AppendPngCall());
  const uint64_t before = AllocationCount();
  for (auto _ : state) {
    std::unique_ptr<flutter::MethodCall> call =
        Codec().DecodeMethodCall(message->data(), message->size());
    benchmark::DoNotOptimize(call.get());
  }
  ReportAllocations(state, before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPngBytes);
}

void EncodeAppendPng(benchmark::State& state) {
  const flutter::MethodCall call = AppendPngCall();
  const uint64_t before = AllocationCount();
  for (auto _ : state) {
    std::unique_ptr<std::vector<uint8_t>> message = Codec().EncodeMethodCall(call);
    benchmark::DoNotOptimize(message->data());
  }
  ReportAllocations(state, before);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPngBytes);
}

void CopyPng(benchmark::State& state) {
  const std::vector<uint8_t> bytes = PngLikeBytes();
  std::vector<uint8_t> copy(bytes.size());
  for (auto _ : state) {
    std::memcpy(copy.data(), bytes.data(), bytes.size());
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kPngBytes);
}

void StopEndToEnd(benchmark::State& state) {
  DirectMessenger messenger;
  RegisterRecorderChannel(&messenger);
  const std::unique_ptr<std::vector<uint8_t>> message =
      Codec().EncodeMethodCall(flutter::MethodCall("stop", nullptr));
  messenger.Call(*message);  // the recorder is made on first use
  bool answered = true;
  std::vector<uint8_t> answer;
  const uint64_t before = AllocationCount();
  // Each call is delivered and its answer, which the recorder's thread sends, waited for.
  for (auto _ : state) {
    std::optional<DirectMessenger::Reply> reply = messenger.Call(*message);
    answered = answered && reply.has_value();
    if (reply) {
      answer.swap(reply->bytes);
    }
    benchmark::DoNotOptimize(answer.data());
  }
  ReportAllocations(state, before);
  if (!answered || answer.empty() || answer[0] != 0) {
    state.SkipWithError("stop was not answered with success");
  }
}

// The messenger's own share of the end-to-end figures: its note of each call and its copy of the
// answer, with a handler that answers at once.
void MessengerAlone(benchmark::State& state) {
  DirectMessenger messenger;
  const std::vector<uint8_t> answer(24, 0);
  messenger.SetMessageHandler("alone",
                              [&answer](const uint8_t*, size_t, flutter::BinaryReply reply) {
                                reply(answer.data(), answer.size());
                              });
  const std::unique_ptr<std::vector<uint8_t>> message =
      Codec().EncodeMethodCall(flutter::MethodCall("stop", nullptr));
  const uint64_t before = AllocationCount();
  for (auto _ : state) {
    std::optional<DirectMessenger::Reply> reply = messenger.Call(*message);
    benchmark::DoNotOptimize(reply);
  }
  ReportAllocations(state, before);
}

}  // namespace
}  // namespace halvex::bench

int main(int argc, char** argv) {
  using halvex::bench::Comparison;
  benchmark::RegisterBenchmark("codec/appendPng-3MB/decode", halvex::bench::DecodeAppendPng);
  benchmark::RegisterBenchmark("codec/appendPng-3MB/encode", halvex::bench::EncodeAppendPng);
  benchmark::RegisterBenchmark("codec/appendPng-3MB/memcpy", halvex::bench::CopyPng);
  // The call is handled on the recorder's thread: the processor time of every thread counts.
  benchmark::RegisterBenchmark("codec/stop/end-to-end", halvex::bench::StopEndToEnd)
      ->MeasureProcessCPUTime();
  benchmark::RegisterBenchmark("codec/stop/messenger-alone", halvex::bench::MessengerAlone);
  const std::vector<Comparison> comparisons = {
      {"codec appendPng 3 MB decode", "codec/appendPng-3MB/decode", "codec/appendPng-3MB/memcpy",
       "decode/memcpy", 2.0},
      {"codec appendPng 3 MB encode", "codec/appendPng-3MB/encode", "codec/appendPng-3MB/memcpy",
       "encode/memcpy", 2.0},
  };
  const std::vector<halvex::bench::Measurement> measurements = {
      {"codec stop decoded, handled and answered", "codec/stop/end-to-end"},
      {"codec stop, the benchmark's messenger alone", "codec/stop/messenger-alone"}};
  return halvex::bench::RunBenchmarksAndCompare(argc, argv, comparisons, measurements);
}
