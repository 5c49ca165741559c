#pragma once
// A key read whole in one call: its values (names and data as the value walk
// delivers them) and its subkeys' names, for walks that only read. A walk
// that may change the key it is in keeps to enumerateValues and
// enumerateSubkeys, which read the key again at every index.

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "registry/access/registry_access.h"

namespace talmoor::registry {

class KeyContents {
 public:
  std::size_t valueCount() const { return values_.size(); }
  std::string_view valueName(std::size_t i) const { return text(values_[i].name); }
  DWORD valueType(std::size_t i) const { return values_[i].type; }
  std::span<const BYTE> valueData(std::size_t i) const {
    return std::span<const BYTE>(data_).subspan(values_[i].dataAt, values_[i].dataLength);
  }
  std::size_t subkeyCount() const { return subkeys_.size(); }
  std::string_view subkeyName(std::size_t i) const { return text(subkeys_[i]); }

  // Kept for the next key: a walk reuses one per level, so that reading a
  // key allocates nothing once the buffers have grown.
  void clear();
  // The values alone, once handed over; the subkey names stay.
  void dropValues();
  void addValue(std::string_view name, DWORD type, std::span<const BYTE> data);
  void addSubkey(std::string_view name);

 private:
  struct Piece {
    std::size_t at = 0, length = 0;
  };
  struct Value {
    Piece name;
    DWORD type = 0;
    std::size_t dataAt = 0, dataLength = 0;
  };
  std::string_view text(Piece piece) const { return std::string_view(names_).substr(piece.at, piece.length); }
  Piece addText(std::string_view text);

  std::string names_;
  std::vector<BYTE> data_;
  std::vector<Value> values_;
  std::vector<Piece> subkeys_;
};

// Reads the key whole into `contents`. False, with nothing reported, when it
// cannot be read so and the walk must go one index at a time (which reports
// as it always has): a registry filter is installed or the integrity check
// is in a state to change or report a value, the handle lacks a right, the
// key is gone.
bool readKeyContents(HKEY key, KeyContents& contents);

// Hands the values read to `callback` as enumerateValues hands them when
// every read succeeds: from request.index on, testing request.cancel before
// each, with the progress shown for as many values.
int enumerateValuesOf(std::string_view machine, EnumerationRequest& request, const KeyContents& contents,
                      const ValueCallback& callback);

}  // namespace talmoor::registry
