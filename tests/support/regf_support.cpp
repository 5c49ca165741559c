#include "support/regf_support.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include <fmt/format.h>

#include "platform/registry/regf_layout.h"
#include "platform/registry/regf_writer.h"
#include "platform/security/security_descriptor.h"
#include "platform/text/code_page.h"
#include "support/corpus.h"
#include "support/process.h"
#include "support/sha1.h"

namespace talmoor::test {

namespace {

void dumpKey(const platform::KeyNode& key, const std::string& path, std::string& out) {
  fmt::format_to(std::back_inserter(out), "K\t{}\t{}\t{}\n", path, key.subkeys().size(), key.values().size());
  for (const auto& value : key.values())
    fmt::format_to(std::back_inserter(out), "V\t{}\t{}\t{}\t{}\t{}\n", path, platform::wideToAnsi(value.name),
                   value.type, value.data.size(), sha1Hex(value.data));
  for (const auto& child : key.subkeys()) dumpKey(*child, path + "\\" + platform::wideToAnsi(child->name()), out);
}

}  // namespace

std::string dumpKeyTree(const platform::KeyNode& root) {
  std::string out;
  dumpKey(root, "", out);
  return out;
}

std::filesystem::path corpusHive(const std::string& name) {
  std::filesystem::path file = std::filesystem::path(TALMOOR_CORPUS_DIR) / "hives" / name;
  std::error_code ec;
  return std::filesystem::exists(file, ec) ? file : std::filesystem::path();
}

std::string corpusTestName(const char* name) {
  std::string out = name;
  for (auto& c : out)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return out;
}

void copyWritable(const std::filesystem::path& from, const std::filesystem::path& to) {
  std::filesystem::create_directories(to.parent_path());
  std::filesystem::copy_file(from, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}

std::string writeRegf(const platform::KeyNode& root, std::u16string fileName) {
  platform::RegfWriteOptions options;
  options.defaultSecurity = platform::defaultKeySecurity();
  options.fileName = std::move(fileName);
  return platform::writeRegfHive(root, options);
}

bool anyContains(const std::vector<std::string>& texts, std::string_view part) {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const std::string& t) { return t.find(part) != std::string::npos; });
}

bool programOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::istringstream dirs(path);
  std::string dir;
  std::error_code ec;
  while (std::getline(dirs, dir, ':'))
    if (!dir.empty() && std::filesystem::exists(std::filesystem::path(dir) / name, ec)) return true;
  return false;
}

std::optional<std::string> readXzFile(const std::filesystem::path& file) {
  if (!programOnPath("xz")) return std::nullopt;
  auto result = runProcess({"xz", "-dc", file.string()});
  if (result.exitCode != 0) throw std::runtime_error("xz failed on " + file.string() + ": " + result.err);
  return result.out;
}

std::vector<RegfCell> regfCells(const std::string& file) {
  namespace regf = platform::regf;
  auto bytes = asBytes(file);
  std::vector<RegfCell> cells;
  std::size_t end = regf::kBaseBlockSize + regf::load32(bytes, regf::kBinsSize);
  for (std::size_t bin = regf::kBaseBlockSize; bin + regf::kBinHeaderSize <= std::min(end, bytes.size());) {
    std::size_t binSize = regf::load32(bytes, bin + regf::kBinSize);
    if (file.compare(bin, 4, "hbin") != 0 || binSize == 0 || bin + binSize > bytes.size()) break;
    for (std::size_t at = bin + regf::kBinHeaderSize; at + 4 <= bin + binSize;) {
      auto size = static_cast<std::int32_t>(regf::load32(bytes, at));
      std::size_t length = size < 0 ? static_cast<std::size_t>(-static_cast<std::int64_t>(size)) : size;
      if (length < 8 || at + length > bin + binSize) break;
      cells.push_back(RegfCell{static_cast<std::uint32_t>(at - regf::kBaseBlockSize), size, at + 4, length - 4});
      at += length;
    }
    bin += binSize;
  }
  return cells;
}

std::optional<std::uint32_t> regfKeyCell(const std::string& file, std::string_view name) {
  namespace regf = platform::regf;
  auto bytes = asBytes(file);
  for (const auto& cell : regfCells(file)) {
    if (cell.size >= 0 || cell.dataSize < regf::kNkName || file.compare(cell.dataAt, 2, "nk") != 0) continue;
    std::size_t length = regf::load16(bytes, cell.dataAt + regf::kNkNameLength);
    if (length == name.size() && file.compare(cell.dataAt + regf::kNkName, length, name) == 0) return cell.offset;
  }
  return std::nullopt;
}

}  // namespace talmoor::test
