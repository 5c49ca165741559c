#pragma once
// The bytes a hex editor works on and who owns them. A host either lends its
// bytes in place (a span: never resized, since the host keeps its own pointer
// and length), lets the editor work on its own vector (by reference or
// shared, so the host sees every growth and shrink at once), or hands a copy
// the editor keeps. The memory kind says what the editor may do: 0 forbids
// editing, kOwnAllocator allows growing and shrinking; any other kind edits
// in place only.

#include <cstddef>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "platform/win32_types.h"

namespace talmoor::hexedit {

enum class MemoryKind : DWORD {
  ReadOnly = 0,
  OwnAllocator = 0x1060000,
};

class HexData {
 public:
  // No data at all: nothing to show, nothing to type into.
  bool isSet() const { return !std::holds_alternative<std::monostate>(source_); }
  std::size_t size() const;
  std::span<const BYTE> bytes() const;
  std::span<BYTE> mutableBytes();

  void clear();
  // The host's bytes, shown in place; kind ReadOnly until the host says otherwise.
  void showInPlace(std::span<BYTE> bytes);
  // The host's vector, edited in place; the reference must outlive the editor
  // or the next set/clear.
  void editReference(std::vector<BYTE>& bytes);
  // A vector shared with the host (the safer form of the above).
  void editShared(std::shared_ptr<std::vector<BYTE>> bytes);
  // A copy owned by the editor, resizable (throws std::bad_alloc).
  void copyIn(std::span<const BYTE> bytes);

  MemoryKind kind() const { return kind_; }
  void setKind(MemoryKind kind) { kind_ = kind; }
  // Editing allowed at all (data set and kind not ReadOnly).
  bool editable() const { return isSet() && kind_ != MemoryKind::ReadOnly; }
  // Growing and shrinking allowed: only a vector we may reallocate and whose
  // kind says so. A span lent in place never changes length: the host would
  // keep a stale pointer and length.
  bool resizable() const;

  // Length changes; false (nothing done) when not resizable.
  bool insert(std::size_t at, std::span<const BYTE> bytes);
  bool erase(std::size_t at, std::size_t count);
  bool resize(std::size_t size);
  // Overwrites bytes inside the data (the caller keeps within size()).
  void write(std::size_t at, std::span<const BYTE> bytes);

  // The shared vector, when the data is one (for hosts that want it back).
  std::shared_ptr<std::vector<BYTE>> shared() const;

 private:
  std::vector<BYTE>* vector();
  const std::vector<BYTE>* vector() const;

  struct Borrowed {
    std::vector<BYTE>* bytes;  // not owned: the host's
  };
  std::variant<std::monostate, std::span<BYTE>, Borrowed, std::shared_ptr<std::vector<BYTE>>, std::vector<BYTE>>
      source_;
  MemoryKind kind_ = MemoryKind::ReadOnly;
};

}  // namespace talmoor::hexedit
