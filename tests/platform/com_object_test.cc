// Reference counting, interface identity and live counting of the stand-in's COM objects: what a
// test of the product leans on to prove that each object was released exactly once.
#include <gtest/gtest.h>

#include <audioclient.h>
#include <combaseapi.h>
#include <mfapi.h>
#include <mferror.h>
#include <mfreadwrite.h>
#include <wincodec.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "com_test_support.h"

namespace {

using halvex::test::Owned;
using halvex::test::StandInTest;

IUnknown* NewMediaType() {
  IMFMediaType* type = nullptr;
  EXPECT_EQ(MFCreateMediaType(&type), S_OK);
  return type;
}

IUnknown* NewSample() {
  IMFSample* sample = nullptr;
  EXPECT_EQ(MFCreateSample(&sample), S_OK);
  return sample;
}

IUnknown* NewImagingStream() {
  Owned<IWICImagingFactory> factory;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, factory.PutVoid()),
            S_OK);
  IWICStream* stream = nullptr;
  EXPECT_EQ(factory->CreateStream(&stream), S_OK);
  return stream;
}

struct IdentityCase {
  const char* name;
  std::function<IUnknown*()> create;
  const char* counted_as;
  std::vector<const IID*> offered;
  std::vector<const IID*> refused;
};

void PrintTo(const IdentityCase& test_case, std::ostream* out) {
  *out << test_case.name;
}

class InterfaceIdentity : public StandInTest, public ::testing::WithParamInterface<IdentityCase> {};

TEST_P(InterfaceIdentity, OffersItsInterfaceChainWithOneIdentity) {
  const IdentityCase& test_case = GetParam();
  Owned<IUnknown> object(test_case.create());
  ASSERT_TRUE(object);
  EXPECT_EQ(halvex::testing::LiveObjects(test_case.counted_as), 1);

  Owned<IUnknown> identity;
  ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
  for (const IID* iid : test_case.offered) {
    Owned<IUnknown> face;
    ASSERT_EQ(object->QueryInterface(*iid, face.PutVoid()), S_OK);
    // COM identity: IUnknown asked of any interface is the same pointer.
    Owned<IUnknown> face_identity;
    ASSERT_EQ(face->QueryInterface(IID_IUnknown, face_identity.PutVoid()), S_OK);
    EXPECT_EQ(face_identity.get(), identity.get());
  }
  for (const IID* iid : test_case.refused) {
    void* face = this;
    EXPECT_EQ(object->QueryInterface(*iid, &face), E_NOINTERFACE);
    EXPECT_EQ(face, nullptr);
  }
  EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  // Every successful QueryInterface added a reference that its owner has released.
  EXPECT_EQ(halvex::testing::ReferenceCount(object.get()), 2u);  // object + identity
}

INSTANTIATE_TEST_SUITE_P(
    Com,
    InterfaceIdentity,
    ::testing::Values(IdentityCase{"MediaType",
                                   NewMediaType,
                                   "IMFMediaType",
                                   {&IID_IMFMediaType, &IID_IMFAttributes},
                                   {&IID_IMFSample, &IID_IMFSinkWriter}},
                      IdentityCase{"Sample",
                                   NewSample,
                                   "IMFSample",
                                   {&IID_IMFSample, &IID_IMFAttributes},
                                   {&IID_IMFMediaType, &IID_IMFMediaBuffer}},
                      IdentityCase{"ImagingStream",
                                   NewImagingStream,
                                   "IWICStream",
                                   {&IID_IWICStream, &IID_IStream, &IID_ISequentialStream},
                                   {&IID_IWICBitmapSource, &IID_IAudioClient}}),
    [](const ::testing::TestParamInfo<IdentityCase>& case_info) { return case_info.param.name; });

TEST_F(StandInTest, LiveCountFallsExactlyAtTheLastRelease) {
  IMFMediaType* type = nullptr;
  ASSERT_EQ(MFCreateMediaType(&type), S_OK);
  // Counted under the interface it was made for, not under its base.
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaType"), 1);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFAttributes"), 0);
  EXPECT_EQ(type->AddRef(), 2u);
  EXPECT_EQ(type->AddRef(), 3u);
  EXPECT_EQ(type->Release(), 2u);
  EXPECT_EQ(type->Release(), 1u);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaType"), 1);
  EXPECT_EQ(type->Release(), 0u);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaType"), 0);
}

TEST_F(StandInTest, ReleaseAfterTheLastIsCountedInsteadOfTouchingFreedMemory) {
  IMFAttributes* attributes = nullptr;
  ASSERT_EQ(MFCreateAttributes(&attributes, 2), S_OK);
  ASSERT_EQ(attributes->SetUINT32(MF_MT_AVG_BITRATE, 1), S_OK);
  IUnknown* stale = attributes;
  EXPECT_EQ(attributes->Release(), 0u);

  EXPECT_EQ(stale->Release(), 0u);
  EXPECT_EQ(stale->Release(), 0u);
  EXPECT_EQ(halvex::testing::OverReleases(), 2);
  EXPECT_EQ(stale->AddRef(), 0u);
  void* face = this;
  EXPECT_EQ(stale->QueryInterface(IID_IMFAttributes, &face), E_UNEXPECTED);
  EXPECT_EQ(face, nullptr);
  EXPECT_EQ(halvex::testing::CallsOnReleasedObjects(), 2);
  EXPECT_EQ(halvex::testing::LiveObjects("IMFAttributes"), 0);

  halvex::testing::ResetComModel();
  EXPECT_EQ(halvex::testing::OverReleases(), 0);
  EXPECT_EQ(halvex::testing::CallsOnReleasedObjects(), 0);
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);  // Reset forgot the apartment.
}

TEST_F(StandInTest, ContainersKeepWhatTheyHoldAlive) {
  Owned<IMFSample> sample;
  ASSERT_EQ(MFCreateSample(sample.Put()), S_OK);
  {
    Owned<IMFMediaBuffer> buffer;
    ASSERT_EQ(MFCreateMemoryBuffer(8, buffer.Put()), S_OK);
    ASSERT_EQ(sample->AddBuffer(buffer.get()), S_OK);
  }
  // The caller's reference is gone; the sample's keeps the buffer.
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 1);
  sample.Reset();
  EXPECT_EQ(halvex::testing::LiveObjects("IMFMediaBuffer"), 0);
}

TEST_F(StandInTest, InjectedFailureHitsOnlyTheArmedCallOfAMethod) {
  Owned<IMFAttributes> attributes;
  ASSERT_EQ(MFCreateAttributes(attributes.Put(), 2), S_OK);
  halvex::testing::FailCall("IMFAttributes::SetUINT32", E_OUTOFMEMORY, 2);
  EXPECT_EQ(attributes->SetUINT32(MF_MT_AVG_BITRATE, 1), S_OK);
  EXPECT_EQ(attributes->SetUINT32(MF_MT_SAMPLE_SIZE, 2), E_OUTOFMEMORY);
  EXPECT_EQ(attributes->SetUINT32(MF_MT_DEFAULT_STRIDE, 3), S_OK);
  UINT32 count = 0;
  ASSERT_EQ(attributes->GetCount(&count), S_OK);
  EXPECT_EQ(count, 2u);  // The failed call stored nothing.
  UINT32 value = 0;
  EXPECT_EQ(attributes->GetUINT32(MF_MT_SAMPLE_SIZE, &value), MF_E_ATTRIBUTENOTFOUND);
  EXPECT_EQ(halvex::testing::CallCount("IMFAttributes::SetUINT32"), 3);
}

}  // namespace
