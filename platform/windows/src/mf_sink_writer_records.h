// The record of every sink writer created since the last reset, shared by the writers (which add
// to their own entry) and the test controls (which read snapshots).
#ifndef HALVEX_STANDIN_MF_SINK_WRITER_RECORDS_H_
#define HALVEX_STANDIN_MF_SINK_WRITER_RECORDS_H_

#include <functional>
#include <memory>

#include "windows_testing/media_foundation.h"

namespace halvex::platform {

using SinkWriterRecord = std::shared_ptr<testing::RecordedSinkWriter>;

// Adds a record for a new writer. A writer keeps its record after a reset; it is then no longer
// listed.
SinkWriterRecord AddSinkWriterRecord(testing::RecordedSinkWriter initial);

// Changes a record under the records' lock.
void UpdateSinkWriterRecord(const SinkWriterRecord& record,
                            const std::function<void(testing::RecordedSinkWriter&)>& change);

// Whether writers keep copies of sample bytes.
bool KeepsSampleBytes();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_SINK_WRITER_RECORDS_H_
