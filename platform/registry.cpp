// Registry calls over the tree files: every read loads the file afresh,
// every change rewrites it through a temporary file and a rename while
// holding a lock, so concurrent processes never see a half-written tree.
// platform sits below support, so only the C and C++ libraries are used here.
#include "platform/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/registry_store.h"

using registry_store::Key;
using registry_store::Tree;
using registry_store::Value;

struct RegKey {
  RegRoot root;
  std::string path;  // normalized
  uint32_t access;
};

namespace {

std::string root_directory(RegRoot root) {
  auto env = [](const char* name) -> const char* {
    const char* v = std::getenv(name);
    return (v && *v) ? v : nullptr;
  };
  switch (root) {
    case RegRoot::CurrentUser:
      if (const char* d = env("TESSEL_REGISTRY_USER")) return d;
      if (const char* d = env("XDG_CONFIG_HOME")) return std::string(d) + "/tessel";
      if (const char* d = env("HOME")) return std::string(d) + "/.config/tessel";
      return "/tmp/tessel-registry";
    case RegRoot::ClassesRoot:
      if (const char* d = env("TESSEL_REGISTRY_CLASSES")) return d;
      [[fallthrough]];
    case RegRoot::LocalMachine:
      if (const char* d = env("TESSEL_REGISTRY_SYSTEM")) return d;
      return "/etc/tessel";
  }
  return "/etc/tessel";
}

std::string tree_file(RegRoot root) {
  return root_directory(root) + (root == RegRoot::ClassesRoot ? "/classes.reg" : "/registry.reg");
}

bool read_file(const std::string& path, std::string& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT || errno == ENOTDIR;  // no file yet = empty tree
  char buf[8192];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool load(RegRoot root, Tree& tree) {
  std::string text;
  if (!read_file(tree_file(root), text)) return false;
  tree = registry_store::parse(text);
  return true;
}

long save(RegRoot root, const Tree& tree) {
  std::string file = tree_file(root);
  std::string temp = file + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return errno == EACCES || errno == EPERM || errno == EROFS ? REG_ACCESS_DENIED : REG_IO_ERROR;
  std::string text = registry_store::serialize(tree);
  size_t done = 0;
  bool ok = true;
  while (ok && done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      ok = false;
    else
      done += static_cast<size_t>(n);
  }
  ok = ok && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), file.c_str()) == 0) return REG_OK;
  ::unlink(temp.c_str());
  return REG_IO_ERROR;
}

// Serialises read-modify-write cycles between processes.
class TreeLock {
 public:
  explicit TreeLock(RegRoot root) {
    std::string dir = root_directory(root);
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
      error_ = (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted ||
                ec == std::errc::read_only_file_system)
                   ? REG_ACCESS_DENIED
                   : REG_IO_ERROR;
      return;
    }
    fd_ = ::open((dir + "/.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      error_ = (errno == EACCES || errno == EPERM || errno == EROFS) ? REG_ACCESS_DENIED : REG_IO_ERROR;
      return;
    }
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~TreeLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  TreeLock(const TreeLock&) = delete;
  TreeLock& operator=(const TreeLock&) = delete;
  long error() const { return error_; }

 private:
  int fd_ = -1;
  long error_ = REG_OK;
};

bool valid_path_text(const char* path) {
  if (!path) return false;
  for (const char* p = path; *p; ++p)
    if (static_cast<unsigned char>(*p) < 0x20) return false;
  return true;
}

// Stored values of a key, with the environment-derived proxy values filling
// in what the current user's Internet Settings key lacks.
std::vector<Value> visible_values(const RegKey* key, const Tree& tree, bool* exists) {
  std::vector<Value> values;
  auto it = tree.find(registry_store::fold(key->path));
  *exists = it != tree.end();
  if (*exists) values = it->second.values;
  if (key->root == RegRoot::CurrentUser && registry_store::is_internet_settings(key->path)) {
    for (Value& derived : registry_store::environment_proxy_values()) {
      bool stored = false;
      for (const Value& v : values) stored = stored || registry_store::same_text(v.name, derived.name);
      if (!stored) values.push_back(std::move(derived));
    }
    if (!values.empty()) *exists = true;
  }
  return values;
}

long copy_out(const std::vector<unsigned char>& bytes, void* data, uint32_t* size) {
  if (!size) return data ? REG_INVALID_PARAMETER : REG_OK;
  uint32_t needed = static_cast<uint32_t>(bytes.size());
  if (!data) {
    *size = needed;
    return REG_OK;
  }
  if (*size < needed) {
    *size = needed;
    return REG_MORE_DATA;
  }
  if (needed) std::memcpy(data, bytes.data(), needed);
  *size = needed;
  return REG_OK;
}

long copy_name(const std::string& name, char* out, uint32_t* out_size) {
  if (!out || !out_size) return REG_INVALID_PARAMETER;
  if (name.size() + 1 > *out_size) {
    *out_size = static_cast<uint32_t>(name.size());
    return REG_MORE_DATA;
  }
  std::memcpy(out, name.c_str(), name.size() + 1);
  *out_size = static_cast<uint32_t>(name.size());
  return REG_OK;
}

long open_key(RegRoot root, const char* path, uint32_t access, RegKey** key, bool create) {
  if (!key || !valid_path_text(path)) return REG_INVALID_PARAMETER;
  *key = nullptr;
  std::string normalized = registry_store::normalize_path(path);
  RegKey probe{root, normalized, access};
  if (create) {
    TreeLock lock(root);
    if (lock.error() != REG_OK) return lock.error();
    Tree tree;
    if (!load(root, tree)) return REG_IO_ERROR;
    // Make the key and every missing level above it.
    bool changed = false;
    std::string prefix;
    size_t pos = 0;
    while (pos <= normalized.size() && !normalized.empty()) {
      size_t next = normalized.find('\\', pos);
      if (next == std::string::npos) next = normalized.size();
      prefix = normalized.substr(0, next);
      Key& k = tree[registry_store::fold(prefix)];
      if (k.path.empty()) {
        k.path = prefix;
        changed = true;
      }
      pos = next + 1;
    }
    if (changed) {
      long rc = save(root, tree);
      if (rc != REG_OK) return rc;
    }
  } else if (!normalized.empty()) {
    Tree tree;
    if (!load(root, tree)) return REG_IO_ERROR;
    bool exists = false;
    visible_values(&probe, tree, &exists);
    if (!exists) return REG_NOT_FOUND;
  }
  *key = std::make_unique<RegKey>(std::move(probe)).release();
  return REG_OK;
}

long change_values(RegKey* key, const char* name, const Value* replacement) {
  if (!key) return REG_INVALID_PARAMETER;
  if (!(key->access & REG_ACCESS_WRITE)) return REG_ACCESS_DENIED;
  TreeLock lock(key->root);
  if (lock.error() != REG_OK) return lock.error();
  Tree tree;
  if (!load(key->root, tree)) return REG_IO_ERROR;
  std::string folded = registry_store::fold(key->path);
  auto it = tree.find(folded);
  if (it == tree.end()) {
    if (!key->path.empty()) return REG_KEY_DELETED;
    return replacement ? REG_ACCESS_DENIED : REG_NOT_FOUND;  // no values on a root itself
  }
  std::string wanted = name ? name : "";
  auto& values = it->second.values;
  for (auto v = values.begin(); v != values.end(); ++v) {
    if (registry_store::same_text(v->name, wanted)) {
      if (replacement) {
        // Storing what is already there leaves the file alone: every
        // print stores its printer again, and a rewrite costs an fsync.
        if (v->type == replacement->type && v->data == replacement->data) return REG_OK;
        std::string keep_name = v->name;
        *v = *replacement;
        v->name = keep_name;
      } else {
        values.erase(v);
      }
      return save(key->root, tree);
    }
  }
  if (!replacement) return REG_NOT_FOUND;
  values.push_back(*replacement);
  return save(key->root, tree);
}

long delete_key(RegRoot root, const char* path, bool tree_too) {
  if (!valid_path_text(path)) return REG_INVALID_PARAMETER;
  std::string normalized = registry_store::normalize_path(path);
  if (normalized.empty()) return REG_ACCESS_DENIED;
  TreeLock lock(root);
  if (lock.error() != REG_OK) return lock.error();
  Tree tree;
  if (!load(root, tree)) return REG_IO_ERROR;
  std::string folded = registry_store::fold(normalized);
  auto it = tree.find(folded);
  if (it == tree.end()) return REG_NOT_FOUND;
  std::string children = folded + '\\';
  auto child = tree.lower_bound(children);
  bool has_children = child != tree.end() && child->first.compare(0, children.size(), children) == 0;
  if (has_children && !tree_too) return REG_ACCESS_DENIED;
  while (child != tree.end() && child->first.compare(0, children.size(), children) == 0) child = tree.erase(child);
  tree.erase(folded);
  return save(root, tree);
}

}  // namespace

long RegOpenKey(RegRoot root, const char* path, uint32_t access, RegKey** key) {
  return open_key(root, path, access, key, false);
}

long RegCreateKey(RegRoot root, const char* path, uint32_t access, RegKey** key) {
  return open_key(root, path, access, key, true);
}

namespace {

// The values a key shows a reader, and whether the key exists.
long read_values(const RegKey* key, std::vector<Value>* values, bool* exists) {
  if (!key) return REG_INVALID_PARAMETER;
  if (!(key->access & REG_ACCESS_READ)) return REG_ACCESS_DENIED;
  Tree tree;
  if (!load(key->root, tree)) return REG_IO_ERROR;
  *values = visible_values(key, tree, exists);
  return REG_OK;
}

}  // namespace

long RegCloseKey(RegKey* key) {
  if (!key) return REG_INVALID_PARAMETER;
  std::unique_ptr<RegKey> owned(key);
  return REG_OK;
}

long RegQueryValue(RegKey* key, const char* name, uint32_t* type, void* data, uint32_t* size) {
  bool exists = false;
  std::vector<Value> values;
  if (const long rc = read_values(key, &values, &exists); rc != REG_OK) return rc;
  if (!exists && !key->path.empty()) return REG_KEY_DELETED;
  std::string wanted = name ? name : "";
  for (const Value& v : values) {
    if (!registry_store::same_text(v.name, wanted)) continue;
    if (type) *type = v.type;
    return copy_out(v.data, data, size);
  }
  return REG_NOT_FOUND;
}

long RegSetValue(RegKey* key, const char* name, uint32_t type, const void* data, uint32_t size) {
  if (size && !data) return REG_INVALID_PARAMETER;
  Value v;
  v.name = name ? name : "";
  v.type = type;
  if (size) v.data.assign(static_cast<const unsigned char*>(data), static_cast<const unsigned char*>(data) + size);
  return change_values(key, name, &v);
}

long RegDeleteValue(RegKey* key, const char* name) {
  return change_values(key, name, nullptr);
}

long RegDeleteKey(RegRoot root, const char* path) {
  return delete_key(root, path, false);
}

long RegDeleteTree(RegRoot root, const char* path) {
  return delete_key(root, path, true);
}

long RegEnumKey(RegKey* key, uint32_t index, char* name, uint32_t* name_size) {
  if (!key) return REG_INVALID_PARAMETER;
  Tree tree;
  if (!load(key->root, tree)) return REG_IO_ERROR;
  std::string prefix = key->path.empty() ? std::string() : registry_store::fold(key->path) + '\\';
  uint32_t seen = 0;
  for (auto it = tree.lower_bound(prefix); it != tree.end(); ++it) {
    if (it->first.compare(0, prefix.size(), prefix) != 0) break;
    if (it->first.find('\\', prefix.size()) != std::string::npos) continue;  // deeper level
    if (seen++ == index) return copy_name(it->second.path.substr(prefix.size()), name, name_size);
  }
  return REG_NO_MORE_ITEMS;
}

long RegEnumValue(RegKey* key, uint32_t index, char* name, uint32_t* name_size, uint32_t* type, void* data,
                  uint32_t* size) {
  bool exists = false;
  std::vector<Value> values;
  if (const long rc = read_values(key, &values, &exists); rc != REG_OK) return rc;
  if (index >= values.size()) return REG_NO_MORE_ITEMS;
  const Value& v = values[index];
  long rc = copy_name(v.name, name, name_size);
  if (rc != REG_OK) return rc;
  if (type) *type = v.type;
  return copy_out(v.data, data, size);
}

long RegSetString(RegKey* key, const char* name, const char* text) {
  if (!text) return REG_INVALID_PARAMETER;
  return RegSetValue(key, name, REG_SZ, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

long RegSetDword(RegKey* key, const char* name, uint32_t value) {
  unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return RegSetValue(key, name, REG_DWORD, bytes, 4);
}

const char* RegRootDirectory(RegRoot root, char* buffer, unsigned size) {
  if (!buffer || size == 0) return nullptr;
  std::snprintf(buffer, size, "%s", root_directory(root).c_str());
  return buffer;
}
