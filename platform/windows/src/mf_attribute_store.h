// The ordered (key, value) store behind every stand-in IMFAttributes.
#ifndef HALVEX_STANDIN_MF_ATTRIBUTE_STORE_H_
#define HALVEX_STANDIN_MF_ATTRIBUTE_STORE_H_

#include <mferror.h>
#include <mfobjects.h>

#include <mutex>
#include <optional>

#include "windows_testing/media_foundation.h"

namespace halvex::platform {

using testing::Attribute;
using testing::AttributeList;
using testing::AttributeValue;

class AttributeStore {
 public:
  // The value under `key`, or nullopt.
  std::optional<AttributeValue> Find(REFGUID key) const;
  // Replaces the value of an existing key in place, or appends the key.
  void Set(REFGUID key, AttributeValue value);
  bool Delete(REFGUID key);
  void Clear();
  UINT32 Count() const;
  AttributeList Snapshot() const;

 private:
  mutable std::mutex mutex_;
  AttributeList items_;
};

// Gives the stand-in itself a copy of any of its attribute stores, whatever the interface.
class AttributeSnapshotSource {
 public:
  virtual AttributeList SnapshotAttributes() const = 0;

 protected:
  virtual ~AttributeSnapshotSource() = default;
};

// The attributes behind `attributes` if it is a stand-in object, else nullopt.
std::optional<AttributeList> SnapshotOf(IMFAttributes* attributes);

// The HRESULT Get* answers for a missing key or a value of another type.
template <typename T>
HRESULT ReadAttribute(const AttributeStore& store, REFGUID key, T* value) {
  const std::optional<AttributeValue> found = store.Find(key);
  if (!found) {
    return MF_E_ATTRIBUTENOTFOUND;
  }
  const T* typed = std::get_if<T>(&*found);
  if (typed == nullptr) {
    return MF_E_INVALIDTYPE;
  }
  *value = *typed;
  return S_OK;
}

}  // namespace halvex::platform

#endif  // HALVEX_STANDIN_MF_ATTRIBUTE_STORE_H_
