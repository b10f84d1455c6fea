// Test controls for the Media Foundation part of the Windows stand-in: start-up calls and a record
// of every sink writer, its streams, types and samples. Product code never includes this header.
//
// The stand-in's sink writer validates each call as the real writer does and records what it was
// given. A process starts with writers that also write real files: H.264/AAC in MP4 for a URL
// ending in ".mp4" (any other extension fails at MFCreateSinkWriterFromURL with
// MF_E_UNSUPPORTED_BYTESTREAM_TYPE). ResetMediaFoundation() turns to writers that only record;
// WriteMediaFiles() turns file writing back on. File writing is the media library's
// (halvex_windows_media): a process without it starts with writers that only record, and
// WriteMediaFiles() there changes nothing and says so on standard error.
//
// Fault names: the attribute methods are "IMFAttributes::SetUINT32" and so on whatever the object
// (store, media type or sample); the rest carry their own interface ("IMFSample::AddBuffer",
// "IMFMediaBuffer::Lock", "IMFSinkWriter::WriteSample"). An injected Finalize failure is recorded
// in finalize_results like any other.
#ifndef HALVEX_WINDOWS_TESTING_MEDIA_FOUNDATION_H_
#define HALVEX_WINDOWS_TESTING_MEDIA_FOUNDATION_H_

#include <guiddef.h>
#include <minwindef.h>
#include <winerror.h>

#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace halvex::testing {

// The value of one attribute, by the type it was set with (SetUINT32, SetUINT64, SetDouble,
// SetGUID, SetString, SetBlob).
using AttributeValue = std::variant<UINT32, UINT64, double, GUID, std::wstring, std::vector<UINT8>>;

struct Attribute {
  GUID key;
  AttributeValue value;
};

// Attributes in the order their keys were first set. Setting a key again replaces its value in
// place; deleting it removes it.
using AttributeList = std::vector<Attribute>;

// The value stored under `key`, or null.
const AttributeValue* FindAttribute(const AttributeList& attributes, REFGUID key);

// The value stored under `key` if it is there and has that type.
std::optional<UINT32> FindUINT32(const AttributeList& attributes, REFGUID key);
std::optional<UINT64> FindUINT64(const AttributeList& attributes, REFGUID key);
std::optional<GUID> FindGUID(const AttributeList& attributes, REFGUID key);

struct RecordedStream {
  AttributeList output_type;                // as passed to AddStream
  std::optional<AttributeList> input_type;  // the last type SetInputMediaType accepted
  // The encoding parameters passed with that type; empty when none were given.
  std::optional<AttributeList> encoding_parameters;
};

struct RecordedSample {
  DWORD stream_index = 0;
  LONGLONG time = 0;
  std::optional<LONGLONG> duration;  // empty when the sample had no duration set
  DWORD length = 0;                  // total current length of the sample's buffers
  std::vector<BYTE> bytes;           // the buffers' current-length bytes, in buffer order; empty
                                     // while KeepSampleBytes(false) is in effect
};

struct RecordedSinkWriter {
  std::wstring url;
  // Copy of the attribute store the writer was created with; empty when it was given none.
  std::optional<AttributeList> attributes;
  std::vector<RecordedStream> streams;  // by stream index
  bool writing_begun = false;           // BeginWriting succeeded
  std::vector<RecordedSample> samples;  // successful WriteSample calls, in call order
  std::vector<HRESULT> finalize_results;
  bool alive = true;  // the writer object has not yet been released to zero
};

// MFStartup calls since the last ResetMediaFoundation, successful or not.
int MFStartupCalls();

// MFShutdown calls since the last ResetMediaFoundation.
int MFShutdownCalls();

// Whether Media Foundation is started in this process (more successful MFStartup than MFShutdown
// calls). MFCreateSinkWriterFromURL fails with MF_E_PLATFORM_NOT_INITIALIZED otherwise.
bool MediaFoundationStarted();

// Every sink writer successfully created since the last ResetMediaFoundation, in creation order;
// a snapshot.
std::vector<RecordedSinkWriter> SinkWriters();

// Number of entries SinkWriters() would return.
std::size_t SinkWriterCount();

// Whether WriteSample keeps a copy of each sample's bytes (default: true after
// ResetMediaFoundation, false in a process that never reset, whose writers write files). Long
// recordings of large frames can switch it off and still see each sample's length.
void KeepSampleBytes(bool keep);

// Forgets the sink writer records and the start-up and shut-down call counts, keeps sample bytes
// again, and makes later writers only record (no file is written). Whether Media Foundation is
// started is process state, as on Windows, and is kept: code that starts it once per process goes
// on working.
void ResetMediaFoundation();

// Makes later writers write real MP4 files again, as in a process that never reset.
void WriteMediaFiles();

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_MEDIA_FOUNDATION_H_
