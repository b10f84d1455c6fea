// What remains of a stand-in COM object after its last Release: one tombstone at the position of
// each of its interfaces. IUnknown calls through a stale pointer are counted; any other method
// lands on a trap that reports the fault and aborts, since there is no object left to answer.
#ifndef HALVEX_STANDIN_COM_TOMBSTONE_H_
#define HALVEX_STANDIN_COM_TOMBSTONE_H_

#include <unknwn.h>

namespace halvex::platform {

[[noreturn]] void TrapCallOnReleasedObject();

class Tombstone final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // Interface methods after IUnknown's occupy these slots, in vtable order; the largest stand-in
  // interface has fewer methods than there are traps.
  virtual void Trap00() { TrapCallOnReleasedObject(); }
  virtual void Trap01() { TrapCallOnReleasedObject(); }
  virtual void Trap02() { TrapCallOnReleasedObject(); }
  virtual void Trap03() { TrapCallOnReleasedObject(); }
  virtual void Trap04() { TrapCallOnReleasedObject(); }
  virtual void Trap05() { TrapCallOnReleasedObject(); }
  virtual void Trap06() { TrapCallOnReleasedObject(); }
  virtual void Trap07() { TrapCallOnReleasedObject(); }
  virtual void Trap08() { TrapCallOnReleasedObject(); }
  virtual void Trap09() { TrapCallOnReleasedObject(); }
  virtual void Trap10() { TrapCallOnReleasedObject(); }
  virtual void Trap11() { TrapCallOnReleasedObject(); }
  virtual void Trap12() { TrapCallOnReleasedObject(); }
  virtual void Trap13() { TrapCallOnReleasedObject(); }
  virtual void Trap14() { TrapCallOnReleasedObject(); }
  virtual void Trap15() { TrapCallOnReleasedObject(); }
  virtual void Trap16() { TrapCallOnReleasedObject(); }
  virtual void Trap17() { TrapCallOnReleasedObject(); }
  virtual void Trap18() { TrapCallOnReleasedObject(); }
  virtual void Trap19() { TrapCallOnReleasedObject(); }
  virtual void Trap20() { TrapCallOnReleasedObject(); }
  virtual void Trap21() { TrapCallOnReleasedObject(); }
  virtual void Trap22() { TrapCallOnReleasedObject(); }
  virtual void Trap23() { TrapCallOnReleasedObject(); }
  virtual void Trap24() { TrapCallOnReleasedObject(); }
  virtual void Trap25() { TrapCallOnReleasedObject(); }
  virtual void Trap26() { TrapCallOnReleasedObject(); }
  virtual void Trap27() { TrapCallOnReleasedObject(); }
  virtual void Trap28() { TrapCallOnReleasedObject(); }
  virtual void Trap29() { TrapCallOnReleasedObject(); }
  virtual void Trap30() { TrapCallOnReleasedObject(); }
  virtual void Trap31() { TrapCallOnReleasedObject(); }
  virtual void Trap32() { TrapCallOnReleasedObject(); }
  virtual void Trap33() { TrapCallOnReleasedObject(); }
  virtual void Trap34() { TrapCallOnReleasedObject(); }
  virtual void Trap35() { TrapCallOnReleasedObject(); }
  virtual void Trap36() { TrapCallOnReleasedObject(); }
  virtual void Trap37() { TrapCallOnReleasedObject(); }
  virtual void Trap38() { TrapCallOnReleasedObject(); }
  virtual void Trap39() { TrapCallOnReleasedObject(); }
  virtual void Trap40() { TrapCallOnReleasedObject(); }
  virtual void Trap41() { TrapCallOnReleasedObject(); }
  virtual void Trap42() { TrapCallOnReleasedObject(); }
  virtual void Trap43() { TrapCallOnReleasedObject(); }
  virtual void Trap44() { TrapCallOnReleasedObject(); }
  virtual void Trap45() { TrapCallOnReleasedObject(); }
  virtual void Trap46() { TrapCallOnReleasedObject(); }
  virtual void Trap47() { TrapCallOnReleasedObject(); }
};

static_assert(sizeof(Tombstone) == sizeof(void*), "a tombstone fits in any interface's place");

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_TOMBSTONE_H_
