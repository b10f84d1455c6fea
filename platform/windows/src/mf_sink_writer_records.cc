#include "mf_sink_writer_records.h"

#include <mutex>
#include <utility>
#include <vector>

#include "mf_platform.h"
#include "mf_sink_writer_backend.h"
#include "real_media_backends.h"

namespace halvex::platform {
namespace {

// A process starts out without keeping sample bytes that a long recording would pile up, writing
// real files once the media library has registered its writer; a test's reset turns to recording
// only, with bytes kept for inspection.
struct Records {
  std::mutex mutex;
  std::vector<SinkWriterRecord> writers;
  bool keep_sample_bytes = false;
  SinkWriterBackendFactory backend_factory;
};

Records& State() {
  static Records* records = new Records();  // Never destroyed: writers may outlive main.
  return *records;
}

}  // namespace

SinkWriterRecord AddSinkWriterRecord(testing::RecordedSinkWriter initial) {
  Records& records = State();
  auto record = std::make_shared<testing::RecordedSinkWriter>(std::move(initial));
  std::lock_guard<std::mutex> lock(records.mutex);
  records.writers.push_back(record);
  return record;
}

void UpdateSinkWriterRecord(const SinkWriterRecord& record,
                            const std::function<void(testing::RecordedSinkWriter&)>& change) {
  Records& records = State();
  std::lock_guard<std::mutex> lock(records.mutex);
  change(*record);
}

bool KeepsSampleBytes() {
  Records& records = State();
  std::lock_guard<std::mutex> lock(records.mutex);
  return records.keep_sample_bytes;
}

void SetSinkWriterBackendFactory(SinkWriterBackendFactory factory) {
  Records& records = State();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.backend_factory = std::move(factory);
}

HRESULT MakeSinkWriterBackend(const std::wstring& url,
                              const testing::AttributeList* attributes,
                              std::unique_ptr<SinkWriterBackend>* backend) {
  SinkWriterBackendFactory factory;
  {
    Records& records = State();
    std::lock_guard<std::mutex> lock(records.mutex);
    factory = records.backend_factory;
  }
  backend->reset();
  return factory ? factory(url, attributes, backend) : S_OK;
}

}  // namespace halvex::platform

namespace halvex::testing {

std::vector<RecordedSinkWriter> SinkWriters() {
  auto& records = platform::State();
  std::lock_guard<std::mutex> lock(records.mutex);
  std::vector<RecordedSinkWriter> copies;
  copies.reserve(records.writers.size());
  for (const auto& record : records.writers) {
    copies.push_back(*record);
  }
  return copies;
}

std::size_t SinkWriterCount() {
  auto& records = platform::State();
  std::lock_guard<std::mutex> lock(records.mutex);
  return records.writers.size();
}

void KeepSampleBytes(bool keep) {
  auto& records = platform::State();
  std::lock_guard<std::mutex> lock(records.mutex);
  records.keep_sample_bytes = keep;
}

void ResetMediaFoundation() {
  {
    auto& records = platform::State();
    std::lock_guard<std::mutex> lock(records.mutex);
    records.writers.clear();
    records.keep_sample_bytes = true;
    records.backend_factory = nullptr;
  }
  platform::ResetPlatformCallCounts();
}

void WriteMediaFiles() {
  auto factory = platform::RegisteredRealMediaBackends().sink_writer_factory;
  if (!factory) {
    platform::ReportNoRealMedia("WriteMediaFiles");
    return;
  }
  platform::SetSinkWriterBackendFactory(std::move(factory));
}

}  // namespace halvex::testing
