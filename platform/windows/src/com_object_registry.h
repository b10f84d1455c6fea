// Process-wide bookkeeping behind every stand-in COM object: live counts per interface name and
// the tombstones that catch calls on objects already released to zero.
#ifndef HALVEX_STANDIN_COM_OBJECT_REGISTRY_H_
#define HALVEX_STANDIN_COM_OBJECT_REGISTRY_H_

namespace halvex::platform {

void CountObjectCreated(const char* interface_name);
void CountObjectDestroyed(const char* interface_name);

// Keeps the storage of a destroyed object (now holding tombstones) so that late calls through
// stale pointers land on the tombstones instead of freed memory. Only the most recent tombstones
// are kept, which bounds the memory a long run spends on them.
void KeepTombstoneStorage(void* storage);

// Frees every kept tombstone and zeroes the fault counters.
void FreeTombstones();

void CountOverRelease();
void CountCallOnReleasedObject();

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_COM_OBJECT_REGISTRY_H_
