// Access to a program's registry key and its typed values. Every operation opens, works and
// closes: nothing is cached between two TRegistry objects.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "toolkit/Handles.h"

namespace settings {

// The registry errors: the message names the value ("Fehler beim Setzen der Daten für 'NoUpdate'").
class ERegistryException : public base::Exception {
 public:
  using base::Exception::Exception;
};

// One open key at a time below a fixed root. Presence tests on a key that could not be opened
// answer false; reads and writes on it fail with the registry errors.
class TRegistry {
 public:
  explicit TRegistry(HKEY root = HKEY_LOCAL_MACHINE) : root_(root) {}

  // Opens `path` below the root with full access, creating it when `canCreate`. Returns false
  // when the key cannot be opened (missing, or no rights); the open itself never throws.
  bool OpenKey(const std::string& path, bool canCreate);
  // Opens an existing `path` for reading only, so that a user without write rights can still
  // read it. False when it cannot be opened.
  bool OpenKeyReadOnly(const std::string& path);
  void CloseKey() { key_.reset(); }

  // Names of the direct subkeys in the order the registry enumerates them.
  std::vector<std::string> GetKeyNames() const;

  bool ValueExists(const std::string& name) const;
  // REG_SZ or REG_EXPAND_SZ (unexpanded), up to the first zero byte; a missing value reads as
  // the empty text. Throws ERegistryException for another type or a failed read.
  std::string ReadString(const std::string& name) const;
  // REG_DWORD only. Throws ERegistryException ("Fehler beim Holen ..." when missing or longer
  // than 4 bytes, "Ungültiger Datentyp ..." for another type).
  int32_t ReadInteger(const std::string& name) const;
  // REG_BINARY of exactly 8 bytes holding a little-endian double. Throws ERegistryException.
  double ReadDate(const std::string& name) const;

  // Writes throw ERegistryException "Fehler beim Setzen der Daten für '<name>'" on failure.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, int32_t value);
  void WriteDate(const std::string& name, double value);
  // Removes one value; false when it could not be removed (or did not exist).
  bool DeleteValue(const std::string& name);

 private:
  // Reads at most `capacity` bytes; the registry's own type and the byte count come back.
  void ReadRaw(const std::string& name, void* buffer, DWORD capacity, DWORD& type, DWORD& size) const;
  void WriteRaw(const std::string& name, DWORD type, const void* data, DWORD size);

  HKEY root_;
  toolkit::ScopedKey key_;
};

}  // namespace settings
