// ComObject: reference counting, QueryInterface and live counting for every stand-in COM object.
//
//   class SinkWriter final : public ComObject<SinkWriter, IMFSinkWriter> { ... };
//   SinkWriter* writer = SinkWriter::Create(args...);  // reference count 1
//
// The first interface names the object in the live counts. When the count drops to zero the
// object is destroyed at once, and tombstones are built in its storage at every interface's
// position, so that a later Release or AddRef through a stale pointer is counted instead of
// touching freed memory.
#ifndef HALVEX_STANDIN_COM_OBJECT_H_
#define HALVEX_STANDIN_COM_OBJECT_H_

#include <unknwn.h>

#include <array>
#include <atomic>
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>

#include "com_interface_traits.h"
#include "com_object_registry.h"
#include "com_tombstone.h"

namespace halvex::platform {

template <typename Derived, typename Primary, typename... Others>
class ComObject : public Primary, public Others... {
 public:
  template <typename... Args>
  static Derived* Create(Args&&... args) {
    void* storage = ::operator new(sizeof(Derived), std::nothrow);
    if (storage == nullptr) {
      return nullptr;
    }
    try {
      return new (storage) Derived(std::forward<Args>(args)...);
    } catch (...) {
      // Creation answers E_OUTOFMEMORY through a null result; nothing is thrown across COM.
      ::operator delete(storage);
      return nullptr;
    }
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
    if (ppvObject == nullptr) {
      return E_POINTER;
    }
    *ppvObject = nullptr;
    if (IsEqualIID(riid, IID_IUnknown)) {
      *ppvObject = static_cast<IUnknown*>(static_cast<Primary*>(this));
    } else {
      (FindInChain<Primary>(riid, ppvObject) || ... || FindInChain<Others>(riid, ppvObject));
    }
    if (*ppvObject == nullptr) {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }

  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG remaining = --references_;
    if (remaining == 0) {
      DestroyAndBury();
    }
    return remaining;
  }

  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 protected:
  ComObject() { CountObjectCreated(InterfaceTraits<Primary>::kName); }
  ~ComObject() override { CountObjectDestroyed(InterfaceTraits<Primary>::kName); }

 private:
  // Walks the single-inheritance chain of interface I up to IUnknown looking for riid.
  template <typename I>
  bool FindInChain(REFIID riid, void** ppvObject) {
    return FindInChainFrom<I>(static_cast<I*>(this), riid, ppvObject);
  }

  template <typename I>
  static bool FindInChainFrom(I* face, REFIID riid, void** ppvObject) {
    if (IsEqualIID(riid, InterfaceTraits<I>::Iid())) {
      *ppvObject = face;
      return true;
    }
    using Base = typename InterfaceTraits<I>::Base;
    if constexpr (std::is_void_v<Base>) {
      return false;
    } else {
      return FindInChainFrom<Base>(static_cast<Base*>(face), riid, ppvObject);
    }
  }

  void DestroyAndBury() {
    Derived* self = static_cast<Derived*>(this);
    char* storage = reinterpret_cast<char*>(self);
    const std::array<std::ptrdiff_t, 1 + sizeof...(Others)> offsets = {
        reinterpret_cast<char*>(static_cast<Primary*>(self)) - storage,
        (reinterpret_cast<char*>(static_cast<Others*>(self)) - storage)...};
    self->~Derived();
    for (const std::ptrdiff_t offset : offsets) {
      new (storage + offset) Tombstone();
    }
    KeepTombstoneStorage(storage);
  }

  std::atomic<ULONG> references_{1};
};

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_OBJECT_H_
