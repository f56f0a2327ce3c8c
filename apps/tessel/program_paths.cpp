// Files the host finds from its own folder: the control module and the web
// assets, where an installation puts them and where the build tree has them.
#include "apps/tessel/host.h"

#include <filesystem>
#include <system_error>

#include "platform/shared_library.h"

std::string from_program(const char* below) {
  return std::filesystem::path(std::string(program_directory()) + below).lexically_normal().string();
}

std::string first_existing(std::initializer_list<std::string> candidates) {
  std::error_code ignored;
  for (const std::string& candidate : candidates)
    if (!candidate.empty() && std::filesystem::exists(candidate, ignored)) return candidate;
  return candidates.size() > 0 ? *(candidates.end() - 1) : std::string();
}
