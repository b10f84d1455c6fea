// Test controls for the COM part of the Windows stand-in: live objects, reference-count faults,
// task memory and apartments. Product code never includes this header.
#ifndef HALVEX_WINDOWS_TESTING_COM_H_
#define HALVEX_WINDOWS_TESTING_COM_H_

#include <unknwn.h>

#include <map>
#include <string>

namespace halvex::testing {

// Every COM object of the stand-in is counted under the name of the interface it was created for
// ("IMFSinkWriter", "IMFMediaType", "IWICStream", "IAudioClient", ...), from creation until its
// last Release. A media type is counted as "IMFMediaType" only, not also as "IMFAttributes".
int LiveObjects(const std::string& interface_name);

// Sum of LiveObjects over every interface name.
int TotalLiveObjects();

// Every interface name with a non-zero live count. Take one before and one after the code under
// test to see exactly which objects it left behind.
std::map<std::string, int> LiveObjectCounts();

// Release calls made on an object whose reference count had already dropped to zero. Such an
// object is destroyed at once (its resources are gone), but its storage is kept as a tombstone
// that counts further calls instead of touching freed memory. Call Release through an
// IUnknown pointer taken before the final Release when provoking this on purpose.
int OverReleases();

// AddRef and QueryInterface calls on an object that has already been released to zero.
int CallsOnReleasedObjects();

// The current reference count of a stand-in object (read by an AddRef/Release pair).
ULONG ReferenceCount(IUnknown* object);

// CoTaskMemAlloc blocks not yet freed with CoTaskMemFree.
int LiveTaskMemAllocations();

// CoTaskMemFree calls with a pointer that is not a live CoTaskMemAlloc block (a double free or a
// foreign pointer). Such a call frees nothing.
int InvalidTaskMemFrees();

enum class Apartment { kNone, kSingleThreaded, kMultithreaded };

// The apartment of the calling thread, as CoInitializeEx left it.
Apartment CurrentApartment();

// Successful CoInitializeEx calls (S_OK and S_FALSE) of the calling thread not yet balanced by
// CoUninitialize. COM stays initialised on the thread while this is above zero.
int CurrentApartmentInitCount();

// CoUninitialize calls made on a thread that had no COM initialisation left to undo.
int UnbalancedUninitializeCalls();

// Forgets the apartment of every thread and zeroes the over-release, released-object,
// invalid-free and unbalanced-uninitialise counters, and frees the tombstones of released
// objects. Live object and task memory counts are facts about objects still in existence and are
// kept. Code that remembers having initialised COM on a thread will see CO_E_NOTINITIALIZED
// afterwards until it initialises again.
void ResetComModel();

}  // namespace halvex::testing

#endif  // HALVEX_WINDOWS_TESTING_COM_H_
