// The current user's registry, as tests set it, and reading values from it with type filtering.
#include <cstdlib>
#include <cstring>

#include "fault_injection.h"
#include "win32_desktop.h"
#include "win32_text.h"

namespace halvex::platform::win32 {
namespace {

// Backslashes separate the levels; empty levels are ignored, as the registry does.
std::wstring NormalizeKey(const std::wstring& path) {
  std::wstring normalized;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(L'\\', start);
    if (end == std::wstring::npos) {
      end = path.size();
    }
    if (end > start) {
      if (!normalized.empty()) {
        normalized += L'\\';
      }
      normalized += path.substr(start, end - start);
    }
    start = end + 1;
  }
  return FoldCase(normalized);
}

DWORD TypeFlag(DWORD type) {
  switch (type) {
    case REG_NONE:
      return RRF_RT_REG_NONE;
    case REG_SZ:
      return RRF_RT_REG_SZ;
    case REG_EXPAND_SZ:
      return RRF_RT_REG_EXPAND_SZ;
    case REG_BINARY:
      return RRF_RT_REG_BINARY;
    case REG_DWORD:
      return RRF_RT_REG_DWORD;
    case REG_MULTI_SZ:
      return RRF_RT_REG_MULTI_SZ;
    case REG_QWORD:
      return RRF_RT_REG_QWORD;
    default:
      return 0;
  }
}

bool IsStringType(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

std::wstring WideFromBytes(const std::vector<BYTE>& data) {
  std::wstring text(data.size() / sizeof(wchar_t), L'\0');
  std::memcpy(&text[0], data.data(), text.size() * sizeof(wchar_t));
  return text;
}

std::vector<BYTE> BytesFromWide(const std::wstring& text) {
  std::vector<BYTE> data(text.size() * sizeof(wchar_t));
  std::memcpy(data.data(), text.data(), data.size());
  return data;
}

// Replaces %NAME% with the environment variable's value; unknown names stay as they are.
std::wstring ExpandEnvironment(const std::wstring& text) {
  std::wstring expanded;
  size_t at = 0;
  while (at < text.size()) {
    const size_t open = text.find(L'%', at);
    const size_t close = open == std::wstring::npos ? open : text.find(L'%', open + 1);
    if (close == std::wstring::npos) {
      expanded += text.substr(at);
      break;
    }
    expanded += text.substr(at, open - at);
    const std::wstring name = text.substr(open + 1, close - open - 1);
    const char* value = name.empty() ? nullptr : std::getenv(Utf16ToUtf8(name).c_str());
    if (value != nullptr) {
      expanded += Utf8ToUtf16(value);
      at = close + 1;
    } else {
      expanded += L'%' + name;
      at = close;  // The closing % may open the next name.
    }
  }
  return expanded;
}

// The bytes RegGetValueW hands out: strings always end with their terminator(s), and expandable
// strings are expanded unless asked not to be.
std::vector<BYTE> DeliveredData(const testing::RegistryValue& value, DWORD flags, DWORD& type) {
  type = value.type;
  if (!IsStringType(value.type)) {
    return value.data;
  }
  std::wstring text = WideFromBytes(value.data);
  if (value.type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0) {
    const size_t end = text.find(L'\0');
    text = ExpandEnvironment(end == std::wstring::npos ? text : text.substr(0, end));
    type = REG_SZ;
  }
  const size_t terminators = value.type == REG_MULTI_SZ ? 2 : 1;
  size_t present = 0;
  while (present < terminators && present < text.size() &&
         text[text.size() - 1 - present] == L'\0') {
    ++present;
  }
  text.append(terminators - present, L'\0');
  return BytesFromWide(text);
}

const RegistryEntry* FindValueLocked(Desktop& desktop,
                                     const std::wstring& key,
                                     const std::wstring& name) {
  auto found_key = desktop.registry.find(NormalizeKey(key));
  if (found_key == desktop.registry.end()) {
    return nullptr;
  }
  auto value = found_key->second.find(FoldCase(name));
  return value == found_key->second.end() ? nullptr : &value->second;
}

bool KeyExistsLocked(Desktop& desktop, const std::wstring& key) {
  const std::wstring normalized = NormalizeKey(key);
  if (normalized.empty()) {
    return true;
  }
  for (const auto& [path, values] : desktop.registry) {
    if (path == normalized || path.compare(0, normalized.size() + 1, normalized + L'\\') == 0) {
      return true;
    }
  }
  return false;
}

LSTATUS GetValue(HKEY key,
                 LPCWSTR sub_key,
                 LPCWSTR value_name,
                 DWORD flags,
                 LPDWORD type_out,
                 PVOID data,
                 LPDWORD size) {
  const DWORD type_flags = flags & RRF_RT_ANY;
  // Expanded text is REG_SZ, which a request for REG_EXPAND_SZ alone could never accept.
  const bool expand_only = type_flags == RRF_RT_REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0;
  if (type_flags == 0 || (data != nullptr && size == nullptr) || expand_only) {
    return ERROR_INVALID_PARAMETER;
  }
  if (key != HKEY_CURRENT_USER) {
    const bool predefined =
        key == HKEY_CLASSES_ROOT || key == HKEY_LOCAL_MACHINE || key == HKEY_USERS;
    return predefined ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_HANDLE;
  }
  const std::wstring path = sub_key == nullptr ? std::wstring() : std::wstring(sub_key);
  const std::wstring name = value_name == nullptr ? std::wstring() : std::wstring(value_name);
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  if (!KeyExistsLocked(desktop, path)) {
    return ERROR_FILE_NOT_FOUND;
  }
  const RegistryEntry* entry = FindValueLocked(desktop, path, name);
  if (entry == nullptr) {
    return ERROR_FILE_NOT_FOUND;
  }
  const testing::RegistryValue& value = entry->value;
  const bool expands = value.type == REG_EXPAND_SZ && (flags & RRF_NOEXPAND) == 0;
  if ((TypeFlag(expands ? REG_SZ : value.type) & type_flags) == 0) {
    return ERROR_UNSUPPORTED_TYPE;
  }
  // A request for a DWORD or QWORD (which admits binary data) wants exactly that many bytes.
  const bool wants_dword =
      (type_flags & ~RRF_RT_DWORD) == 0 && (type_flags & RRF_RT_REG_DWORD) != 0;
  const bool wants_qword =
      (type_flags & ~RRF_RT_QWORD) == 0 && (type_flags & RRF_RT_REG_QWORD) != 0;
  if ((wants_dword && value.data.size() != sizeof(DWORD)) ||
      (wants_qword && value.data.size() != sizeof(ULONGLONG))) {
    return ERROR_DATATYPE_MISMATCH;
  }
  DWORD type = 0;
  const std::vector<BYTE> delivered = DeliveredData(value, flags, type);
  if (type_out != nullptr) {
    *type_out = type;
  }
  if (size == nullptr) {
    return ERROR_SUCCESS;
  }
  const DWORD needed = static_cast<DWORD>(delivered.size());
  if (data != nullptr && *size < needed) {
    *size = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr && needed > 0) {
    std::memcpy(data, delivered.data(), needed);
  }
  *size = needed;
  return ERROR_SUCCESS;
}

}  // namespace
}  // namespace halvex::platform::win32

using halvex::platform::win32::Desktop;
using halvex::platform::win32::TheDesktop;

extern "C" {

LSTATUS WINAPI RegGetValueW(HKEY hkey,
                            LPCWSTR lpSubKey,
                            LPCWSTR lpValue,
                            DWORD dwFlags,
                            LPDWORD pdwType,
                            PVOID pvData,
                            LPDWORD pcbData) {
  if (const std::optional<HRESULT> fault = halvex::platform::CheckFault("RegGetValueW")) {
    return HRESULT_CODE(*fault);
  }
  const DWORD buffer_size = pcbData == nullptr ? 0 : *pcbData;
  const LSTATUS status =
      halvex::platform::win32::GetValue(hkey, lpSubKey, lpValue, dwFlags, pdwType, pvData, pcbData);
  // The caller's buffer is left zeroed rather than half-written when asked.
  if (status != ERROR_SUCCESS && (dwFlags & RRF_ZEROONFAILURE) != 0 && pvData != nullptr) {
    std::memset(pvData, 0, buffer_size);
  }
  return status;
}

}  // extern "C"

namespace halvex::testing {

void SetRegistryValue(const std::wstring& key, const std::wstring& name, RegistryValue value) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  platform::win32::RegistryKey& values = desktop.registry[platform::win32::NormalizeKey(key)];
  values[platform::win32::FoldCase(name)] = platform::win32::RegistryEntry{name, std::move(value)};
}

void SetRegistryDword(const std::wstring& key, const std::wstring& name, DWORD value) {
  std::vector<BYTE> data(sizeof(value));
  std::memcpy(data.data(), &value, sizeof(value));
  SetRegistryValue(key, name, RegistryValue{REG_DWORD, std::move(data)});
}

void SetRegistryString(const std::wstring& key,
                       const std::wstring& name,
                       const std::wstring& value,
                       DWORD type) {
  std::wstring terminated = value;
  terminated.push_back(L'\0');
  SetRegistryValue(key, name, RegistryValue{type, platform::win32::BytesFromWide(terminated)});
}

bool RemoveRegistryValue(const std::wstring& key, const std::wstring& name) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  auto values = desktop.registry.find(platform::win32::NormalizeKey(key));
  return values != desktop.registry.end() &&
         values->second.erase(platform::win32::FoldCase(name)) > 0;
}

bool RemoveRegistryKey(const std::wstring& key) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const std::wstring normalized = platform::win32::NormalizeKey(key);
  bool removed = false;
  for (auto it = desktop.registry.begin(); it != desktop.registry.end();) {
    if (it->first == normalized ||
        it->first.compare(0, normalized.size() + 1, normalized + L'\\') == 0) {
      it = desktop.registry.erase(it);
      removed = true;
    } else {
      ++it;
    }
  }
  return removed;
}

std::optional<RegistryValue> GetRegistryValue(const std::wstring& key, const std::wstring& name) {
  Desktop& desktop = TheDesktop();
  std::lock_guard<std::mutex> lock(desktop.mutex);
  const platform::win32::RegistryEntry* entry =
      platform::win32::FindValueLocked(desktop, key, name);
  if (entry == nullptr) {
    return std::nullopt;
  }
  return entry->value;
}

}  // namespace halvex::testing
