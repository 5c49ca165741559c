#pragma once
// A hive file that cannot be read: names the file, the place and what was
// expected there.

#include <stdexcept>
#include <string>

namespace talmoor::platform {

class HiveFormatError : public std::runtime_error {
 public:
  HiveFormatError(std::string file, long line, std::string problem);
  const std::string& file() const { return file_; }
  long line() const { return line_; }  // 0 when the problem has no line
  const std::string& problem() const { return problem_; }

 private:
  std::string file_;
  long line_;
  std::string problem_;
};

}  // namespace talmoor::platform
