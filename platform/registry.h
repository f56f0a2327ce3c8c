// Hierarchical key/value settings store standing in for the system registry:
// keys under three roots, named or unnamed string, number and binary values.
#pragma once

#include <cstdint>
#include <memory>

// The three trees. Each lives in one file inside its own directory:
//   current user   $TESSEL_REGISTRY_USER, else $XDG_CONFIG_HOME/tessel,
//                  else $HOME/.config/tessel
//   local machine  $TESSEL_REGISTRY_SYSTEM, else /etc/tessel
//   classes        $TESSEL_REGISTRY_CLASSES, else the local machine directory
// The variables are read on every call, so a test can point them at a
// temporary directory at any time.
enum class RegRoot { CurrentUser, LocalMachine, ClassesRoot };

// Result codes; the numbers match the ones callers of a registry expect.
inline constexpr long REG_OK = 0;
inline constexpr long REG_NOT_FOUND = 2;
inline constexpr long REG_ACCESS_DENIED = 5;
inline constexpr long REG_INVALID_PARAMETER = 87;
inline constexpr long REG_MORE_DATA = 234;
inline constexpr long REG_NO_MORE_ITEMS = 259;
inline constexpr long REG_KEY_DELETED = 1018;
inline constexpr long REG_IO_ERROR = 1016;

// Value types.
inline constexpr uint32_t REG_NONE = 0;
inline constexpr uint32_t REG_SZ = 1;
inline constexpr uint32_t REG_BINARY = 3;
inline constexpr uint32_t REG_DWORD = 4;

// Access asked for when a key is opened.
inline constexpr uint32_t REG_ACCESS_READ = 1;
inline constexpr uint32_t REG_ACCESS_WRITE = 2;
inline constexpr uint32_t REG_ACCESS_ALL = REG_ACCESS_READ | REG_ACCESS_WRITE;

// An open key. Paths use '\' between levels and compare ignoring case.
struct RegKey;

// Opens an existing key; REG_NOT_FOUND when it does not exist.
long RegOpenKey(RegRoot root, const char* path, uint32_t access, RegKey** key);
// Opens a key, creating it and every missing parent first.
long RegCreateKey(RegRoot root, const char* path, uint32_t access, RegKey** key);
long RegCloseKey(RegKey* key);

struct RegKeyCloser {
  void operator()(RegKey* key) const { RegCloseKey(key); }
};
using RegKeyPtr = std::unique_ptr<RegKey, RegKeyCloser>;

// Reads a value; a null or empty name is the key's unnamed value. With null
// data only *size is set; with a buffer smaller than the value, *size
// receives the needed size and the result is REG_MORE_DATA. type may be null.
long RegQueryValue(RegKey* key, const char* name, uint32_t* type, void* data, uint32_t* size);
// Stores a value as given: a string's terminating zero counts only when
// size includes it. The whole tree file is replaced atomically.
long RegSetValue(RegKey* key, const char* name, uint32_t type, const void* data, uint32_t size);
long RegDeleteValue(RegKey* key, const char* name);

// Removes a key that has no subkeys (REG_ACCESS_DENIED otherwise).
long RegDeleteKey(RegRoot root, const char* path);
// Removes a key with all its subkeys.
long RegDeleteTree(RegRoot root, const char* path);

// Enumerate direct subkeys and values by index; REG_NO_MORE_ITEMS past the
// end. name_size is in/out like size: capacity in, length (without the
// terminator) out; REG_MORE_DATA when the name does not fit.
long RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* name_size);
long RegEnumValue(RegKey* key, uint32_t index, char* name, uint32_t* name_size, uint32_t* type, void* data,
                  uint32_t* size);

// Convenience wrappers over RegSetValue for the two common types.
long RegSetString(RegKey* key, const char* name, const char* text);
long RegSetDword(RegKey* key, const char* name, uint32_t value);

// Directory that holds a root's tree file (for diagnostics and tests).
const char* RegRootDirectory(RegRoot root, char* buffer, unsigned size);
