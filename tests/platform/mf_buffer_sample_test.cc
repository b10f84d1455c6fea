// Memory buffers and samples: that a refused buffer and the buffers a sample lets go of leave no
// object alive.
#include <gtest/gtest.h>

#include <mfapi.h>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;

TEST_F(StandInTest, ImpossibleBufferLengthFailsWithoutAllocating) {
  IMFMediaBuffer* buffer = reinterpret_cast<IMFMediaBuffer*>(this);
  EXPECT_EQ(MFCreateMemoryBuffer(0xFFFFFFFF, &buffer), E_OUTOFMEMORY);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 0);
}

TEST_F(StandInTest, RemovingASamplesBuffersReleasesThem) {
  Owned<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  for (DWORD length : {3u, 5u}) {
    Owned<IMFMediaBuffer> buffer;
    ASSERT_EQ(MFCreateMemoryBuffer(16, buffer.Put()), S_OK);
    ASSERT_EQ(buffer->SetCurrentLength(length), S_OK);
    ASSERT_EQ(sample->AddBuffer(buffer.get()), S_OK);
  }
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 2);
  ASSERT_EQ(sample->RemoveAllBuffers(), S_OK);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 0);
}

}  // namespace
