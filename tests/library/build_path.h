// Where the suites find what the build made.
#pragma once

#include <filesystem>
#include <string>

// A path as the build wrote it; under wine the build machine's root is Z:.
inline std::filesystem::path BuildPath(const std::string& path) {
#ifdef _WIN32
  return path.starts_with('/') ? std::filesystem::path("Z:" + path).make_preferred() : path;
#else
  return path;
#endif
}
