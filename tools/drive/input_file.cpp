#include "input_file.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace drive {

std::string ReadInputFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::error_code failure;
  if (std::filesystem::is_directory(path, failure)) {
    return std::make_error_code(std::errc::is_a_directory).message();
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::strerror(errno != 0 ? errno : ENOENT);
  }
  // Read in steps, so that a device or a pipe that never ends stops here too.
  char chunk[64 * 1024];
  size_t got = 0;
  while (bytes.size() <= MostInputFileBytes &&
         (got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
    bytes.append(chunk, got);
  }
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  if (bytes.size() > MostInputFileBytes) {
    bytes.clear();
    return fmt::format("larger than {} MB, the most drive reads from a file",
                       MostInputFileBytes >> 20);
  }
  return failed ? std::string(std::strerror(EIO)) : std::string();
}

}  // namespace drive
