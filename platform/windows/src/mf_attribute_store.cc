#include "mf_attribute_store.h"

#include <algorithm>
#include <utility>

namespace halvex::platform {

std::optional<AttributeValue> AttributeStore::Find(REFGUID key) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const Attribute& item : items_) {
    if (IsEqualGUID(item.key, key)) {
      return item.value;
    }
  }
  return std::nullopt;
}

void AttributeStore::Set(REFGUID key, AttributeValue value) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (Attribute& item : items_) {
    if (IsEqualGUID(item.key, key)) {
      item.value = std::move(value);
      return;
    }
  }
  items_.push_back(Attribute{key, std::move(value)});
}

bool AttributeStore::Delete(REFGUID key) {
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = std::find_if(items_.begin(), items_.end(), [&key](const Attribute& item) {
    return IsEqualGUID(item.key, key);
  });
  if (it == items_.end()) {
    return false;
  }
  items_.erase(it);
  return true;
}

void AttributeStore::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  items_.clear();
}

UINT32 AttributeStore::Count() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<UINT32>(items_.size());
}

AttributeList AttributeStore::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return items_;
}

std::optional<AttributeList> SnapshotOf(IMFAttributes* attributes) {
  const auto* source = dynamic_cast<const AttributeSnapshotSource*>(attributes);
  if (source == nullptr) {
    return std::nullopt;
  }
  return source->SnapshotAttributes();
}

}  // namespace halvex::platform

namespace halvex::testing {

const AttributeValue* FindAttribute(const AttributeList& attributes, REFGUID key) {
  for (const Attribute& item : attributes) {
    if (IsEqualGUID(item.key, key)) {
      return &item.value;
    }
  }
  return nullptr;
}

namespace {

template <typename T>
std::optional<T> FindTyped(const AttributeList& attributes, REFGUID key) {
  const AttributeValue* value = FindAttribute(attributes, key);
  if (value == nullptr) {
    return std::nullopt;
  }
  const T* typed = std::get_if<T>(value);
  return typed == nullptr ? std::nullopt : std::optional<T>(*typed);
}

}  // namespace

std::optional<UINT32> FindUINT32(const AttributeList& attributes, REFGUID key) {
  return FindTyped<UINT32>(attributes, key);
}

std::optional<UINT64> FindUINT64(const AttributeList& attributes, REFGUID key) {
  return FindTyped<UINT64>(attributes, key);
}

std::optional<GUID> FindGUID(const AttributeList& attributes, REFGUID key) {
  return FindTyped<GUID>(attributes, key);
}

}  // namespace halvex::testing
