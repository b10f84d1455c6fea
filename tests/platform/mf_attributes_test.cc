// Attribute stores and media types: that an allocated string copy is task memory the caller must
// free, and the helpers that pack two values into one item.
#include <gtest/gtest.h>

#include <combaseapi.h>
#include <mfapi.h>

#include <string>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;

TEST_F(StandInTest, AllocatedStringCopiesAreTaskMemory) {
  Owned<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 1), S_OK);
  ASSERT_EQ(attributes->SetString(MF_MT_SUBTYPE, L"abc"), S_OK);

  const int task_memory_before = halvex::testing::LiveTaskMemAllocations();
  wchar_t* copy = nullptr;
  UINT32 length = 0;
  ASSERT_EQ(attributes->GetAllocatedString(MF_MT_SUBTYPE, &copy, &length), S_OK);
  EXPECT_EQ(std::wstring(copy), L"abc");
  EXPECT_EQ(halvex::testing::LiveTaskMemAllocations(), task_memory_before + 1);
  CoTaskMemFree(copy);
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
