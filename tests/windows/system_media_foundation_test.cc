// Attribute stores, memory buffers and samples: the rules the recorder's media types and samples
// depend on, checked on Windows and against the desktop model with the same expectations.
#include <windows.h>
#include <objbase.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfidl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/windows/system_probe.h"

namespace halvex::testing {
namespace {

// Owns one reference.
template <typename T>
class Held {
 public:
  Held() = default;
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  ~Held() {
    if (object_ != nullptr) {
      object_->Release();
    }
  }
  T** Put() { return &object_; }
  T* get() const { return object_; }
  T* operator->() const { return object_; }

 private:
  T* object_ = nullptr;
};

class SystemMediaFoundation : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(MFStartup(MF_VERSION, MFSTARTUP_FULL), S_OK);
  }
  void TearDown() override {
    MFShutdown();
    CoUninitialize();
  }
};

// Each reads one item back through the typed getter of its type.
void ExpectGuid(IMFAttributes* attributes, REFGUID key, REFGUID expected) {
  GUID value{};
  EXPECT_EQ(attributes->GetGUID(key, &value), S_OK);
  EXPECT_TRUE(IsEqualGUID(value, expected));
}

void ExpectUint32(IMFAttributes* attributes, REFGUID key, UINT32 expected) {
  UINT32 value = 0;
  EXPECT_EQ(attributes->GetUINT32(key, &value), S_OK);
  EXPECT_EQ(value, expected);
}

void ExpectUint64(IMFAttributes* attributes, REFGUID key, UINT64 expected) {
  UINT64 value = 0;
  EXPECT_EQ(attributes->GetUINT64(key, &value), S_OK);
  EXPECT_EQ(value, expected);
}

void ExpectDouble(IMFAttributes* attributes, REFGUID key, double expected) {
  double value = 0;
  EXPECT_EQ(attributes->GetDouble(key, &value), S_OK);
  EXPECT_EQ(value, expected);
}

void ExpectString(IMFAttributes* attributes, REFGUID key, const std::wstring& expected) {
  wchar_t value[32] = {};
  EXPECT_EQ(attributes->GetString(key, value, 32, nullptr), S_OK);
  EXPECT_EQ(std::wstring(value), expected);
}

void ExpectBlob(IMFAttributes* attributes, REFGUID key, const std::vector<UINT8>& expected) {
  UINT32 size = 0;
  ASSERT_EQ(attributes->GetBlobSize(key, &size), S_OK);
  std::vector<UINT8> value(size);
  EXPECT_EQ(attributes->GetBlob(key, value.data(), size, nullptr), S_OK);
  EXPECT_EQ(value, expected);
}

struct OrderCase {
  const char* name;
  std::function<void(IMFAttributes*)> operations;
  std::vector<GUID> keys;
  std::function<void(IMFAttributes*)> expect_values;
};

TEST_F(SystemMediaFoundation, AttributesKeepFirstSetOrderAndLatestValues) {
  const OrderCase cases[] = {
      {"each type in call order",
       [](IMFAttributes* a) {
         a->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
         a->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
         a->SetUINT32(MF_MT_AVG_BITRATE, 6220800);
         a->SetUINT64(MF_MT_FRAME_SIZE, (UINT64{1920} << 32) | 1080);
         a->SetDouble(MF_MT_SAMPLE_SIZE, 0.5);
         a->SetString(MF_MT_DEFAULT_STRIDE, L"text");
         const UINT8 blob[] = {1, 2, 3};
         a->SetBlob(MF_MT_INTERLACE_MODE, blob, sizeof(blob));
       },
       {MF_MT_MAJOR_TYPE, MF_MT_SUBTYPE, MF_MT_AVG_BITRATE, MF_MT_FRAME_SIZE, MF_MT_SAMPLE_SIZE,
        MF_MT_DEFAULT_STRIDE, MF_MT_INTERLACE_MODE},
       [](IMFAttributes* a) {
         ExpectGuid(a, MF_MT_MAJOR_TYPE, MFMediaType_Video);
         ExpectGuid(a, MF_MT_SUBTYPE, MFVideoFormat_H264);
         ExpectUint32(a, MF_MT_AVG_BITRATE, 6220800);
         ExpectUint64(a, MF_MT_FRAME_SIZE, 0x0000078000000438);
         ExpectDouble(a, MF_MT_SAMPLE_SIZE, 0.5);
         ExpectString(a, MF_MT_DEFAULT_STRIDE, L"text");
         ExpectBlob(a, MF_MT_INTERLACE_MODE, {1, 2, 3});
       }},
      {"resetting a key keeps its place and takes the latest value and type",
       [](IMFAttributes* a) {
         a->SetUINT32(MF_MT_AVG_BITRATE, 1);
         a->SetUINT32(MF_MT_SAMPLE_SIZE, 2);
         a->SetUINT64(MF_MT_AVG_BITRATE, 3);
       },
       {MF_MT_AVG_BITRATE, MF_MT_SAMPLE_SIZE},
       [](IMFAttributes* a) {
         ExpectUint64(a, MF_MT_AVG_BITRATE, 3);
         ExpectUint32(a, MF_MT_SAMPLE_SIZE, 2);
       }},
      {"deleted key comes back at the end",
       [](IMFAttributes* a) {
         a->SetUINT32(MF_MT_AVG_BITRATE, 1);
         a->SetUINT32(MF_MT_SAMPLE_SIZE, 2);
         a->DeleteItem(MF_MT_AVG_BITRATE);
         a->DeleteItem(MF_MT_FRAME_RATE);  // absent: no error, no change
         a->SetUINT32(MF_MT_AVG_BITRATE, 4);
       },
       {MF_MT_SAMPLE_SIZE, MF_MT_AVG_BITRATE},
       [](IMFAttributes* a) {
         ExpectUint32(a, MF_MT_SAMPLE_SIZE, 2);
         ExpectUint32(a, MF_MT_AVG_BITRATE, 4);
       }},
      {"delete all empties the store",
       [](IMFAttributes* a) {
         a->SetUINT32(MF_MT_AVG_BITRATE, 1);
         a->DeleteAllItems();
       },
       {},
       [](IMFAttributes*) {}},
  };
  for (const OrderCase& test : cases) {
    SCOPED_TRACE(test.name);
    Held<IMFMediaType> type;
    ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
    test.operations(type.get());
    const std::vector<GUID> keys = AttributeKeysInOrder(type.get());
    ASSERT_EQ(keys.size(), test.keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) {
      EXPECT_TRUE(IsEqualGUID(keys[i], test.keys[i])) << "item " << i;
    }
    UINT32 count = 0;
    ASSERT_EQ(type->GetCount(&count), S_OK);
    EXPECT_EQ(count, test.keys.size());
    test.expect_values(type.get());
  }
}

TEST_F(SystemMediaFoundation, TypedGettersAnswerMissingAndWrongTypeDistinctly) {
  Held<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  type->SetUINT32(MF_MT_AVG_BITRATE, 7);
  type->SetUINT64(MF_MT_FRAME_SIZE, 9);

  UINT32 u32 = 0;
  UINT64 u64 = 0;
  GUID guid{};
  double real = 0;
  MF_ATTRIBUTE_TYPE item_type{};
  const struct {
    const char* name;
    std::function<HRESULT()> call;
    HRESULT expected;
  } cases[] = {
      {"UINT32 present", [&] { return type->GetUINT32(MF_MT_AVG_BITRATE, &u32); }, S_OK},
      {"UINT32 of a UINT64", [&] { return type->GetUINT32(MF_MT_FRAME_SIZE, &u32); },
       MF_E_INVALIDTYPE},
      {"UINT64 of a UINT32", [&] { return type->GetUINT64(MF_MT_AVG_BITRATE, &u64); },
       MF_E_INVALIDTYPE},
      {"UINT64 present", [&] { return type->GetUINT64(MF_MT_FRAME_SIZE, &u64); }, S_OK},
      {"GUID missing", [&] { return type->GetGUID(MF_MT_SUBTYPE, &guid); }, MF_E_ATTRIBUTENOTFOUND},
      {"double missing", [&] { return type->GetDouble(MF_MT_SUBTYPE, &real); },
       MF_E_ATTRIBUTENOTFOUND},
      {"item type", [&] { return type->GetItemType(MF_MT_FRAME_SIZE, &item_type); }, S_OK},
      {"major type missing", [&] { return type->GetMajorType(&guid); }, MF_E_ATTRIBUTENOTFOUND},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.call(), c.expected) << c.name;
  }
  // Only the model promises to check the output before it writes through it.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(type->GetUINT32(MF_MT_AVG_BITRATE, nullptr), E_POINTER);
  }
  EXPECT_EQ(u32, 7u);
  EXPECT_EQ(u64, 9u);
  EXPECT_EQ(item_type, MF_ATTRIBUTE_UINT64);
}

TEST_F(SystemMediaFoundation, StringsNeedRoomForTheTerminator) {
  Held<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
  ASSERT_EQ(attributes->SetString(MF_MT_SUBTYPE, L"abc"), S_OK);
  // Only the model promises to refuse a missing string rather than read through it.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(attributes->SetString(MF_MT_SUBTYPE, nullptr), E_INVALIDARG);
  }

  wchar_t small[3] = {};
  EXPECT_EQ(attributes->GetString(MF_MT_SUBTYPE, small, 3, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  wchar_t exact[4] = {};
  UINT32 length = 0;
  ASSERT_EQ(attributes->GetString(MF_MT_SUBTYPE, exact, 4, &length), S_OK);
  EXPECT_EQ(std::wstring(exact), L"abc");
  EXPECT_EQ(length, 3u);

  wchar_t* copy = nullptr;
  ASSERT_EQ(attributes->GetAllocatedString(MF_MT_SUBTYPE, &copy, &length), S_OK);
  EXPECT_EQ(std::wstring(copy), L"abc");
  CoTaskMemFree(copy);
}

TEST_F(SystemMediaFoundation, CopyAllItemsReplacesTheDestinationInSourceOrder) {
  Held<IMFMediaType> source;
  Held<IMFMediaType> destination;
  ASSERT_EQ(MFCreateMediaType(source.Put()), S_OK);
  ASSERT_EQ(MFCreateMediaType(destination.Put()), S_OK);
  source->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  source->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 1);
  destination->SetUINT32(MF_MT_AVG_BITRATE, 5);
  ASSERT_EQ(source->CopyAllItems(destination.get()), S_OK);
  const std::vector<GUID> keys = AttributeKeysInOrder(destination.get());
  ASSERT_EQ(keys.size(), 2u);
  EXPECT_TRUE(IsEqualGUID(keys[0], MF_MT_MAJOR_TYPE));
  EXPECT_TRUE(IsEqualGUID(keys[1], MF_MT_AUDIO_NUM_CHANNELS));
  ExpectGuid(destination.get(), MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  ExpectUint32(destination.get(), MF_MT_AUDIO_NUM_CHANNELS, 1);
}

TEST_F(SystemMediaFoundation, BufferCurrentLengthStaysWithinTheMaximum) {
  const struct {
    DWORD max_length;
    DWORD requested;
    HRESULT expected;
    DWORD length_after;
  } cases[] = {
      {100, 0, S_OK, 0},
      {100, 100, S_OK, 100},
      {100, 101, E_INVALIDARG, 1},
      {100, 0xFFFFFFFF, E_INVALIDARG, 1},
      {0, 0, S_OK, 0},
      {0, 1, E_INVALIDARG, 0},
  };
  for (const auto& test : cases) {
    SCOPED_TRACE(std::to_string(test.max_length) + ", " + std::to_string(test.requested));
    Held<IMFMediaBuffer> buffer;
    ASSERT_EQ(MFCreateMemoryBuffer(test.max_length, buffer.Put()), S_OK);
    ASSERT_EQ(buffer->SetCurrentLength(1), test.max_length >= 1 ? S_OK : E_INVALIDARG);
    EXPECT_EQ(buffer->SetCurrentLength(test.requested), test.expected);
    DWORD length = 0;
    ASSERT_EQ(buffer->GetCurrentLength(&length), S_OK);
    EXPECT_EQ(length, test.length_after);
  }
}

TEST_F(SystemMediaFoundation, LockHandsOutTheWholeBuffer) {
  Held<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateMemoryBuffer(64, buffer.Put()), S_OK);
  BYTE* data = nullptr;
  DWORD max_length = 0;
  DWORD current_length = 99;
  ASSERT_EQ(buffer->Lock(&data, &max_length, &current_length), S_OK);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(max_length, 64u);
  EXPECT_EQ(current_length, 0u);
  std::memset(data, 0xAB, 64);  // The whole maximum length is writable.
  BYTE* again = nullptr;
  ASSERT_EQ(buffer->Lock(&again, nullptr, nullptr), S_OK);  // Nested locks are allowed.
  EXPECT_EQ(again, data);
  EXPECT_EQ(buffer->Unlock(), S_OK);
  EXPECT_EQ(buffer->Unlock(), S_OK);
  // Wine neither counts locks nor tells a missing output from a bad argument.
  if (!RunsUnderWine()) {
    EXPECT_EQ(buffer->Unlock(), MF_E_INVALIDREQUEST);
    EXPECT_EQ(buffer->Lock(nullptr, nullptr, nullptr), E_POINTER);
  }
}

TEST_F(SystemMediaFoundation, ImpossibleBufferLengthFails) {
  if (!RunsOnTheDesktopModel()) {
    GTEST_SKIP() << "a 64-bit system may well grant 4 GiB; only the model refuses on principle";
  }
  IMFMediaBuffer* buffer = reinterpret_cast<IMFMediaBuffer*>(this);
  EXPECT_EQ(MFCreateMemoryBuffer(0xFFFFFFFF, &buffer), E_OUTOFMEMORY);
  EXPECT_EQ(buffer, nullptr);
}

TEST_F(SystemMediaFoundation, SampleTimesAreAbsentUntilSetAndLengthsSumTheBuffers) {
  Held<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  LONGLONG time = 0;
  EXPECT_EQ(sample->GetSampleTime(&time), MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(sample->GetSampleDuration(&time), MF_E_NO_SAMPLE_DURATION);
  ASSERT_EQ(sample->SetSampleTime(-5), S_OK);
  ASSERT_EQ(sample->GetSampleTime(&time), S_OK);
  EXPECT_EQ(time, -5);

  for (DWORD length : {3u, 5u}) {
    Held<IMFMediaBuffer> buffer;
    ASSERT_EQ(MFCreateMemoryBuffer(16, buffer.Put()), S_OK);
    ASSERT_EQ(buffer->SetCurrentLength(length), S_OK);
    ASSERT_EQ(sample->AddBuffer(buffer.get()), S_OK);
  }
  DWORD count = 0;
  DWORD total = 0;
  ASSERT_EQ(sample->GetBufferCount(&count), S_OK);
  ASSERT_EQ(sample->GetTotalLength(&total), S_OK);
  EXPECT_EQ(count, 2u);
  EXPECT_EQ(total, 8u);  // Current lengths, not maximum lengths.

  IMFMediaBuffer* missing = reinterpret_cast<IMFMediaBuffer*>(this);
  EXPECT_EQ(sample->GetBufferByIndex(2, &missing), E_INVALIDARG);
  // Only the model clears the output of a refused call, and a null buffer crashes Wine.
  if (RunsOnTheDesktopModel()) {
    EXPECT_EQ(missing, nullptr);
    EXPECT_EQ(sample->AddBuffer(nullptr), E_INVALIDARG);
  }
  EXPECT_EQ(sample->RemoveAllBuffers(), S_OK);
  ASSERT_EQ(sample->GetBufferCount(&count), S_OK);
  EXPECT_EQ(count, 0u);
}

}  // namespace
}  // namespace halvex::testing
