// Memory buffers and samples: length rules, what Lock hands out, and what a sample carries to the
// writer.
#include <gtest/gtest.h>

#include <mfapi.h>
#include <mferror.h>
#include <mfreadwrite.h>

#include <cstring>
#include <ostream>
#include <vector>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;

struct LengthCase {
  DWORD max_length;
  DWORD requested;
  HRESULT expected;
  DWORD length_after;
};

void PrintTo(const LengthCase& test_case, std::ostream* out) {
  *out << "max " << test_case.max_length << ", set " << test_case.requested;
}

class BufferLength : public StandInTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(BufferLength, CurrentLengthStaysWithinTheMaximum) {
  const LengthCase& test_case = GetParam();
  Owned<IMFMediaBuffer> buffer;
  ASSERT_EQ(MFCreateMemoryBuffer(test_case.max_length, buffer.Put()), S_OK);
  ASSERT_EQ(buffer->SetCurrentLength(1), test_case.max_length >= 1 ? S_OK : E_INVALIDARG);
  EXPECT_EQ(buffer->SetCurrentLength(test_case.requested), test_case.expected);
  DWORD length = 0;
  ASSERT_EQ(buffer->GetCurrentLength(&length), S_OK);
  EXPECT_EQ(length, test_case.length_after);
}

INSTANTIATE_TEST_SUITE_P(MediaFoundation,
                         BufferLength,
                         ::testing::Values(LengthCase{100, 0, S_OK, 0},
                                           LengthCase{100, 100, S_OK, 100},
                                           LengthCase{100, 101, E_INVALIDARG, 1},
                                           LengthCase{100, 0xFFFFFFFF, E_INVALIDARG, 1},
                                           LengthCase{0, 0, S_OK, 0},
                                           LengthCase{0, 1, E_INVALIDARG, 0}));

TEST_F(StandInTest, LockHandsOutTheWholeBufferAndUnlockMustBeBalanced) {
  Owned<IMFMediaBuffer> buffer;
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
  EXPECT_EQ(buffer->Unlock(), MF_E_INVALIDREQUEST);
  EXPECT_EQ(buffer->Lock(nullptr, nullptr, nullptr), E_POINTER);
}

TEST_F(StandInTest, ImpossibleBufferLengthFailsWithoutAllocating) {
  IMFMediaBuffer* buffer = reinterpret_cast<IMFMediaBuffer*>(this);
  EXPECT_EQ(MFCreateMemoryBuffer(0xFFFFFFFF, &buffer), E_OUTOFMEMORY);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 0);
}

TEST_F(StandInTest, SampleTimesAreAbsentUntilSetAndLengthsSumTheBuffers) {
  Owned<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  LONGLONG time = 0;
  EXPECT_EQ(sample->GetSampleTime(&time), MF_E_NO_SAMPLE_TIMESTAMP);
  EXPECT_EQ(sample->GetSampleDuration(&time), MF_E_NO_SAMPLE_DURATION);
  ASSERT_EQ(sample->SetSampleTime(-5), S_OK);
  ASSERT_EQ(sample->GetSampleTime(&time), S_OK);
  EXPECT_EQ(time, -5);

  for (DWORD length : {3u, 5u}) {
    Owned<IMFMediaBuffer> buffer;
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
  EXPECT_EQ(missing, nullptr);
  EXPECT_EQ(sample->AddBuffer(nullptr), E_INVALIDARG);
  ASSERT_EQ(sample->RemoveAllBuffers(), S_OK);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 0);
}

}  // namespace
