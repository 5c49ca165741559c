#include "support/corpus.h"

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace talmoor::test {

std::filesystem::path corpusDir() {
  std::filesystem::path dir = TALMOOR_CORPUS_DIR;
  if (std::filesystem::exists(dir / "wine-8.0" / "system.reg")) return dir;
  return {};
}

void copyCorpusHives(const std::filesystem::path& prefix) {
  namespace fs = std::filesystem;
  fs::create_directories(prefix);
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    fs::copy_file(corpusDir() / "wine-8.0" / name, prefix / name);
    fs::permissions(prefix / name, fs::perms::owner_write, fs::perm_options::add);
  }
}

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path.string());
  out << bytes;
}

TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = base / ("talmoor-test-" + std::to_string(rd()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace talmoor::test
