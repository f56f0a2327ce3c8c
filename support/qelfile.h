// File and path helpers: temporary names, directory paths, existence and
// size, copying and moving files, the last component of a path.
#pragma once

#include <cstddef>

// The one path separator of this platform.
inline constexpr char QEL_PATH_SEPARATOR = '/';

// Writes the name of a file that does not exist yet (nor a link of that
// name, dangling or not) into destination (cut to size): directory (the system temporary directory when null), prefix,
// process id in decimal, the time in upper-case hex, then the extension.
// Creates no file. Answers destination.
char* qel_tempname(char* destination, size_t size, const char* directory, const char* prefix, const char* extension);

// Creates a new file, empty and for the owner only, under a name from
// qel_tempname, and answers its open descriptor (write only), or -1. The
// file is created exclusively and never through a link: a name that is
// taken, by a file or by a link planted under it, is followed by a fresh one.
int qel_create_tempfile(char* destination, size_t size, const char* directory, const char* prefix,
                        const char* extension);

// Creates every missing directory of path. 1 on success, 0 on failure with
// errno telling why; directories made before the failure stay. mode is unused.
int qel_mkdirs(const char* path, int mode);

// 1 when a file or directory of that name exists.
int qel_file_exists(const char* path);

// Size in bytes, or -1 when the file's status cannot be read.
long qel_file_size(const char* path);

// 1 on success. An empty or unreadable source fails without creating the
// destination.
int qel_copy_file(const char* source, const char* destination);

// Renames, falling back to copy-and-delete. 1 on success; on failure the
// source stays.
int qel_move_file(const char* source, const char* destination);

// Pointer just after the last separator, or path itself.
const char* qel_basename(const char* path);
char* qel_basename(char* path);
