// Attribute stores and media types: order and values kept exactly, and the answers of the typed
// getters, which the sink writer's record and the product's media types depend on.
#include <gtest/gtest.h>

#include <combaseapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfreadwrite.h>

#include <cwchar>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;
using halvex::testing::Attribute;
using halvex::testing::AttributeList;
using halvex::testing::AttributeValue;

// The store as the stand-in keeps it, read back through a sink writer's creation record.
AttributeList StoredItems(IMFAttributes* attributes) {
  halvex::testing::ResetMediaFoundation();
  Owned<IMFSinkWriter> writer;
  EXPECT_EQ(MFCreateSinkWriterFromURL(L"probe.mp4", nullptr, attributes, writer.Put()), S_OK);
  const auto writers = halvex::testing::SinkWriters();
  return writers.empty() ? AttributeList() : writers.front().attributes.value_or(AttributeList());
}

bool SameItems(const AttributeList& actual, const AttributeList& expected) {
  if (actual.size() != expected.size()) {
    return false;
  }
  for (std::size_t i = 0; i < actual.size(); ++i) {
    if (actual[i].key != expected[i].key || !(actual[i].value == expected[i].value)) {
      return false;
    }
  }
  return true;
}

struct OrderCase {
  const char* name;
  std::function<void(IMFAttributes*)> operations;
  AttributeList expected;
};

void PrintTo(const OrderCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class AttributeOrder : public StandInTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(AttributeOrder, KeepsFirstSetOrderAndLatestValues) {
  Owned<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  GetParam().operations(type.get());
  EXPECT_TRUE(SameItems(StoredItems(type.get()), GetParam().expected));
  UINT32 count = 0;
  ASSERT_EQ(type->GetCount(&count), S_OK);
  EXPECT_EQ(count, GetParam().expected.size());
}

INSTANTIATE_TEST_SUITE_P(
    MediaFoundation,
    AttributeOrder,
    ::testing::Values(OrderCase{"EachTypeInCallOrder",
                                [](IMFAttributes* a) {
                                  a->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
                                  a->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_H264);
                                  a->SetUINT32(MF_MT_AVG_BITRATE, 6220800);
                                  a->SetUINT64(MF_MT_FRAME_SIZE, Pack2UINT32AsUINT64(1920, 1080));
                                  a->SetDouble(MF_MT_SAMPLE_SIZE, 0.5);
                                  a->SetString(MF_MT_DEFAULT_STRIDE, L"text");
                                  const UINT8 blob[] = {1, 2, 3};
                                  a->SetBlob(MF_MT_INTERLACE_MODE, blob, sizeof(blob));
                                },
                                {{MF_MT_MAJOR_TYPE, AttributeValue(MFMediaType_Video)},
                                 {MF_MT_SUBTYPE, AttributeValue(MFVideoFormat_H264)},
                                 {MF_MT_AVG_BITRATE, AttributeValue(UINT32{6220800})},
                                 {MF_MT_FRAME_SIZE, AttributeValue(UINT64{0x0000078000000438})},
                                 {MF_MT_SAMPLE_SIZE, AttributeValue(0.5)},
                                 {MF_MT_DEFAULT_STRIDE, AttributeValue(std::wstring(L"text"))},
                                 {MF_MT_INTERLACE_MODE,
                                  AttributeValue(std::vector<UINT8>{1, 2, 3})}}},
                      OrderCase{"ResettingAKeyKeepsItsPlaceAndMayChangeItsType",
                                [](IMFAttributes* a) {
                                  a->SetUINT32(MF_MT_AVG_BITRATE, 1);
                                  a->SetUINT32(MF_MT_SAMPLE_SIZE, 2);
                                  a->SetUINT64(MF_MT_AVG_BITRATE, 3);
                                },
                                {{MF_MT_AVG_BITRATE, AttributeValue(UINT64{3})},
                                 {MF_MT_SAMPLE_SIZE, AttributeValue(UINT32{2})}}},
                      OrderCase{"DeletedKeyComesBackAtTheEnd",
                                [](IMFAttributes* a) {
                                  a->SetUINT32(MF_MT_AVG_BITRATE, 1);
                                  a->SetUINT32(MF_MT_SAMPLE_SIZE, 2);
                                  a->DeleteItem(MF_MT_AVG_BITRATE);
                                  a->DeleteItem(MF_MT_FRAME_RATE);  // absent: no error, no change
                                  a->SetUINT32(MF_MT_AVG_BITRATE, 4);
                                },
                                {{MF_MT_SAMPLE_SIZE, AttributeValue(UINT32{2})},
                                 {MF_MT_AVG_BITRATE, AttributeValue(UINT32{4})}}},
                      OrderCase{"DeleteAllEmptiesTheStore",
                                [](IMFAttributes* a) {
                                  a->SetUINT32(MF_MT_AVG_BITRATE, 1);
                                  a->DeleteAllItems();
                                },
                                {}}),
    [](const ::testing::TestParamInfo<OrderCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, TypedGettersAnswerMissingWrongTypeAndNullDistinctly) {
  Owned<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  type->SetUINT32(MF_MT_AVG_BITRATE, 7);
  type->SetUINT64(MF_MT_FRAME_SIZE, 9);

  struct Case {
    const char* name;
    std::function<HRESULT()> call;
    HRESULT expected;
  };
  UINT32 u32 = 0;
  UINT64 u64 = 0;
  GUID guid{};
  double real = 0;
  MF_ATTRIBUTE_TYPE item_type{};
  const Case cases[] = {
      {"UINT32 present", [&] { return type->GetUINT32(MF_MT_AVG_BITRATE, &u32); }, S_OK},
      {"UINT32 of a UINT64", [&] { return type->GetUINT32(MF_MT_FRAME_SIZE, &u32); },
       MF_E_INVALIDTYPE},
      {"UINT64 of a UINT32", [&] { return type->GetUINT64(MF_MT_AVG_BITRATE, &u64); },
       MF_E_INVALIDTYPE},
      {"UINT64 present", [&] { return type->GetUINT64(MF_MT_FRAME_SIZE, &u64); }, S_OK},
      {"GUID missing", [&] { return type->GetGUID(MF_MT_SUBTYPE, &guid); }, MF_E_ATTRIBUTENOTFOUND},
      {"double missing", [&] { return type->GetDouble(MF_MT_SUBTYPE, &real); },
       MF_E_ATTRIBUTENOTFOUND},
      {"null output", [&] { return type->GetUINT32(MF_MT_AVG_BITRATE, nullptr); }, E_POINTER},
      {"item type", [&] { return type->GetItemType(MF_MT_FRAME_SIZE, &item_type); }, S_OK},
      {"major type missing", [&] { return type->GetMajorType(&guid); }, MF_E_ATTRIBUTENOTFOUND},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.call(), c.expected) << c.name;
  }
  EXPECT_EQ(u32, 7u);
  EXPECT_EQ(u64, 9u);
  EXPECT_EQ(item_type, MF_ATTRIBUTE_UINT64);
}

TEST_F(StandInTest, StringsNeedRoomForTheTerminatorAndAllocatedCopiesAreTaskMemory) {
  Owned<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
  ASSERT_EQ(attributes->SetString(MF_MT_SUBTYPE, L"abc"), S_OK);
  EXPECT_EQ(attributes->SetString(MF_MT_SUBTYPE, nullptr), E_INVALIDARG);

  wchar_t small[3] = {};
  EXPECT_EQ(attributes->GetString(MF_MT_SUBTYPE, small, 3, nullptr),
            HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  wchar_t exact[4] = {};
  UINT32 length = 0;
  ASSERT_EQ(attributes->GetString(MF_MT_SUBTYPE, exact, 4, &length), S_OK);
  EXPECT_EQ(std::wstring(exact), L"abc");
  EXPECT_EQ(length, 3u);

  const int task_memory_before = halvex::testing::LiveTaskMemAllocations();
  wchar_t* copy = nullptr;
  ASSERT_EQ(attributes->GetAllocatedString(MF_MT_SUBTYPE, &copy, &length), S_OK);
  EXPECT_EQ(std::wstring(copy), L"abc");
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), task_memory_before + 1);
  CoTaskMemFree(copy);
}

TEST_F(StandInTest, CopyAllItemsReplacesTheDestinationInSourceOrder) {
  Owned<IMFMediaType> source;
  Owned<IMFMediaType> destination;
  ASSERT_EQ(MFCreateMediaType(source.Put()), S_OK);
  ASSERT_EQ(MFCreateMediaType(destination.Put()), S_OK);
  source->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  source->SetUINT32(MF_MT_AUDIO_NUM_CHANNELS, 1);
  destination->SetUINT32(MF_MT_AVG_BITRATE, 5);
  ASSERT_EQ(source->CopyAllItems(destination.get()), S_OK);
  EXPECT_TRUE(SameItems(StoredItems(destination.get()),
                        {{MF_MT_MAJOR_TYPE, AttributeValue(MFMediaType_Audio)},
                         {MF_MT_AUDIO_NUM_CHANNELS, AttributeValue(UINT32{1})}}));
}

TEST_F(StandInTest, SizeAndRatioHelpersPutTheFirstValueInTheHighHalf) {
  Owned<IMFMediaType> type;
  ASSERT_EQ(MFCreateMediaType(type.Put()), S_OK);
  ASSERT_EQ(MFSetAttributeSize(type.get(), MF_MT_FRAME_SIZE, 641, 481), S_OK);
  ASSERT_EQ(MFSetAttributeRatio(type.get(), MF_MT_FRAME_RATE, 30000, 1001), S_OK);
  UINT64 packed = 0;
  ASSERT_EQ(type->GetUINT64(MF_MT_FRAME_SIZE, &packed), S_OK);
  EXPECT_EQ(packed, (UINT64{641} << 32) | 481);
  UINT32 numerator = 0;
  UINT32 denominator = 0;
  ASSERT_EQ(MFGetAttributeRatio(type.get(), MF_MT_FRAME_RATE, &numerator, &denominator), S_OK);
  EXPECT_EQ(numerator, 30000u);
  EXPECT_EQ(denominator, 1001u);
  EXPECT_EQ(MFGetAttributeUINT32(type.get(), MF_MT_AVG_BITRATE, 42), 42u);
}

}  // namespace
