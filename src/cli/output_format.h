#pragma once
// What talmoor-cli prints about keys and values, in the form asked for:
//   table  columns aligned for reading (the default on a terminal);
//   tsv    a header line, then one line per record, fields separated by
//          tabs, with tabs, line ends and backslashes escaped (\t \n \r \\)
//          so that every record is one line (the default otherwise);
//   csv    a header line, then RFC 4180 records (quoted where needed);
//   json   one JSON object per line ("JSON lines").
// The unnamed value is "(Default)" in every form (JSON also says
// "unnamed": true), as reg shows it.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/win32_types.h"

namespace CLI {
class App;
}

#include "registry/file_time.h"

namespace talmoor::cli {

using registry::filetimeText;

enum class OutputFormat { Table, Tsv, Csv, Json };

// "table", "tsv", "csv", "json" (in any case); nothing for another word.
std::optional<OutputFormat> outputFormatNamed(std::string_view name);
// Table on a terminal, tab-separated lines otherwise.
OutputFormat defaultOutputFormat(bool terminal);
// The format asked for, or the default for where standard output goes.
OutputFormat chosenFormat(const std::optional<OutputFormat>& asked);

// Registers --format on a verb; `defaultNote` says what it prints without one.
void addFormatOption(CLI::App& verb, std::optional<OutputFormat>& format, std::string_view defaultNote);

inline constexpr std::string_view kUnnamedValueText = "(Default)";

// A TSV field: tabs, line ends and backslashes escaped (\t \n \r \\).
std::string escapedForTsv(std::string_view text);

// One key or value as printed.
struct OutputRecord {
  std::string status;                    // a row's outcome; empty for a plain listing
  std::string machine;                   // empty for the local machine
  std::string root;                      // "HKEY_LOCAL_MACHINE"
  std::string key;                       // below the root, "" for the root itself
  std::optional<std::string> valueName;  // none for a key; "" for the unnamed value
  DWORD type = 0;
  // The data as the ANSI calls deliver it (string types as UTF-8 text with
  // their terminators), for the raw text and the bytes of JSON.
  std::vector<BYTE> data;
  // When given, the text shown for the data instead of the raw text
  // (--display, or a key name a mode proposed).
  std::optional<std::string> shownData;
  std::optional<std::uint64_t> lastWrite;  // a FILETIME, when times are asked for
  // What naming shows for a key (query --names).
  struct Naming {
    std::string displayName;  // empty: the key shows its raw name
    int image = -1;
    int overlay = 0;
    std::string overlayText;
  };
  std::optional<Naming> naming;
};

// The data as text: strings as stored (without the terminator), multi-strings
// joined by "\0", numbers in hexadecimal, everything else as hex digits.
std::string rawDataText(DWORD type, const std::vector<BYTE>& data);

class RecordPrinter {
 public:
  struct Columns {
    bool status = false;  // rows of a search or a job
    bool times = false;   // last write times
    bool names = false;   // naming: only keys, with DisplayName, Image, Overlay
  };
  RecordPrinter(std::ostream& out, OutputFormat format, Columns columns);
  ~RecordPrinter();  // prints what a table held back
  RecordPrinter(const RecordPrinter&) = delete;
  RecordPrinter& operator=(const RecordPrinter&) = delete;

  void print(const OutputRecord& record);
  // Prints a table's rows now (the others go out as they come).
  void finish();

 private:
  std::vector<std::string> cellsOf(const OutputRecord& record) const;
  std::vector<std::string> headers() const;
  void writeJson(const OutputRecord& record);

  std::ostream& out_;
  OutputFormat format_;
  Columns columns_;
  bool headerWritten_ = false;
  std::vector<std::vector<std::string>> table_;
};

}  // namespace talmoor::cli
