#include "hexedit/hex_data.h"

#include <algorithm>

namespace talmoor::hexedit {

std::vector<BYTE>* HexData::vector() {
  if (auto* borrowed = std::get_if<Borrowed>(&source_)) return borrowed->bytes;
  if (auto* shared = std::get_if<std::shared_ptr<std::vector<BYTE>>>(&source_)) return shared->get();
  if (auto* owned = std::get_if<std::vector<BYTE>>(&source_)) return owned;
  return nullptr;
}

const std::vector<BYTE>* HexData::vector() const { return const_cast<HexData*>(this)->vector(); }

std::size_t HexData::size() const { return bytes().size(); }

std::span<const BYTE> HexData::bytes() const {
  if (auto* span = std::get_if<std::span<BYTE>>(&source_)) return *span;
  if (const auto* v = vector()) return *v;
  return {};
}

std::span<BYTE> HexData::mutableBytes() {
  if (auto* span = std::get_if<std::span<BYTE>>(&source_)) return *span;
  if (auto* v = vector()) return *v;
  return {};
}

void HexData::clear() {
  source_ = std::monostate{};
  kind_ = MemoryKind::ReadOnly;
}

void HexData::showInPlace(std::span<BYTE> bytes) {
  source_ = bytes;
  kind_ = MemoryKind::ReadOnly;
}

void HexData::editReference(std::vector<BYTE>& bytes) {
  source_ = Borrowed{&bytes};
  kind_ = MemoryKind::ReadOnly;
}

void HexData::editShared(std::shared_ptr<std::vector<BYTE>> bytes) {
  if (!bytes) {
    clear();
    return;
  }
  source_ = std::move(bytes);
  kind_ = MemoryKind::ReadOnly;
}

void HexData::copyIn(std::span<const BYTE> bytes) {
  source_ = std::vector<BYTE>(bytes.begin(), bytes.end());
  kind_ = MemoryKind::OwnAllocator;
}

bool HexData::resizable() const { return kind_ == MemoryKind::OwnAllocator && vector() != nullptr; }

bool HexData::insert(std::size_t at, std::span<const BYTE> bytes) {
  if (!resizable()) return false;
  auto& v = *vector();
  at = std::min(at, v.size());
  v.insert(v.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin(), bytes.end());
  return true;
}

bool HexData::erase(std::size_t at, std::size_t count) {
  if (!resizable()) return false;
  auto& v = *vector();
  at = std::min(at, v.size());
  count = std::min(count, v.size() - at);
  v.erase(v.begin() + static_cast<std::ptrdiff_t>(at), v.begin() + static_cast<std::ptrdiff_t>(at + count));
  return true;
}

bool HexData::resize(std::size_t size) {
  if (!resizable()) return false;
  vector()->resize(size);
  return true;
}

void HexData::write(std::size_t at, std::span<const BYTE> bytes) {
  auto target = mutableBytes();
  if (at >= target.size()) return;
  std::size_t count = std::min(bytes.size(), target.size() - at);
  std::copy_n(bytes.begin(), count, target.begin() + static_cast<std::ptrdiff_t>(at));
}

std::shared_ptr<std::vector<BYTE>> HexData::shared() const {
  if (auto* shared = std::get_if<std::shared_ptr<std::vector<BYTE>>>(&source_)) return *shared;
  return nullptr;
}

}  // namespace talmoor::hexedit
