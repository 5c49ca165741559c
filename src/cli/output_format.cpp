#include "cli/output_format.h"

#include <unistd.h>

#include <algorithm>
#include <ostream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "platform/registry/registry_constants.h"
#include "platform/text/code_page.h"
#include "registry/value_text.h"

namespace talmoor::cli {

namespace {

constexpr std::pair<std::string_view, OutputFormat> kFormatNames[] = {
    {"table", OutputFormat::Table}, {"tsv", OutputFormat::Tsv}, {"csv", OutputFormat::Csv}, {"json", OutputFormat::Json}};
constexpr std::size_t kWidestTableCell = 60;


std::string quotedForCsv(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string base64(const std::vector<BYTE>& bytes) {
  static constexpr char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t chunk = std::uint32_t{bytes[i]} << 16;
    if (i + 1 < bytes.size()) chunk |= std::uint32_t{bytes[i + 1]} << 8;
    if (i + 2 < bytes.size()) chunk |= bytes[i + 2];
    out += kDigits[(chunk >> 18) & 63];
    out += kDigits[(chunk >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(chunk >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[chunk & 63] : '=';
  }
  return out;
}

std::string fullKeyPath(const OutputRecord& record) {
  std::string path = record.machine.empty() ? std::string() : "\\\\" + record.machine + "\\";
  path += record.root;
  if (!record.key.empty()) path += "\\" + record.key;
  return path;
}

std::string shownName(const OutputRecord& record) {
  if (!record.valueName) return {};
  return record.valueName->empty() ? std::string(kUnnamedValueText) : *record.valueName;
}

}  // namespace

std::string escapedForTsv(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\\': out += "\\\\"; break;
      default: out += c;
    }
  }
  return out;
}

std::optional<OutputFormat> outputFormatNamed(std::string_view name) {
  for (const auto& [word, format] : kFormatNames)
    if (platform::equalsIgnoringAsciiCase(name, word)) return format;
  return std::nullopt;
}

OutputFormat defaultOutputFormat(bool terminal) { return terminal ? OutputFormat::Table : OutputFormat::Tsv; }

OutputFormat chosenFormat(const std::optional<OutputFormat>& asked) {
  return asked.value_or(defaultOutputFormat(::isatty(STDOUT_FILENO)));
}

void addFormatOption(CLI::App& verb, std::optional<OutputFormat>& format, std::string_view defaultNote) {
  verb.add_option_function<std::string>(
          "--format",
          [&format](const std::string& word) {
            format = outputFormatNamed(word);
            if (!format) throw CLI::ValidationError("--format", word + ": not table, tsv, csv or json");
          },
          fmt::format("table, tsv, csv or json (one object per line); without it, {}", defaultNote))
      ->type_name("FORMAT");
}

std::string rawDataText(DWORD type, const std::vector<BYTE>& data) {
  auto text = [&](std::size_t end) { return std::string(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(end)); };
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ: {
      // The text as stored, without its terminator. (A link's target is
      // UTF-16 even through the ANSI calls; the default case turns it.)
      std::size_t end = data.size();
      if (end > 0 && data[end - 1] == 0) --end;
      return text(end);
    }
    case REG_MULTI_SZ: {
      // The strings with "\0" between them: the list's closing terminators go.
      std::size_t end = data.size();
      while (end > 0 && data[end - 1] == 0) --end;
      std::string out;
      for (std::size_t i = 0; i < end; ++i) out += data[i] == 0 ? std::string("\\0") : std::string(1, static_cast<char>(data[i]));
      return out;
    }
    default:
      return registry::regFormatData(type, data);
  }
}


RecordPrinter::RecordPrinter(std::ostream& out, OutputFormat format, Columns columns)
    : out_(out), format_(format), columns_(columns) {}

RecordPrinter::~RecordPrinter() { finish(); }

std::vector<std::string> RecordPrinter::headers() const {
  std::vector<std::string> names;
  if (columns_.names) return {"Key", "DisplayName", "Image", "Overlay", "OverlayText"};
  if (columns_.status) names.push_back("Status");
  names.insert(names.end(), {"Key", "Value", "Type", "Data"});
  if (columns_.times) names.push_back("LastWrite");
  return names;
}

std::vector<std::string> RecordPrinter::cellsOf(const OutputRecord& record) const {
  std::vector<std::string> cells;
  if (columns_.names) {
    const OutputRecord::Naming naming = record.naming.value_or(OutputRecord::Naming{});
    return {fullKeyPath(record), naming.displayName, std::to_string(naming.image), std::to_string(naming.overlay),
            naming.overlayText};
  }
  if (columns_.status) cells.push_back(record.status);
  cells.push_back(fullKeyPath(record));
  cells.push_back(shownName(record));
  cells.push_back(record.valueName ? registry::regTypeName(record.type) : std::string());
  cells.push_back(record.shownData ? *record.shownData
                                   : record.valueName ? rawDataText(record.type, record.data) : std::string());
  if (columns_.times) cells.push_back(record.lastWrite ? filetimeText(*record.lastWrite) : std::string());
  return cells;
}

void RecordPrinter::print(const OutputRecord& record) {
  if (format_ == OutputFormat::Json) {
    writeJson(record);
    return;
  }
  std::vector<std::string> cells = cellsOf(record);
  if (format_ == OutputFormat::Table) {
    table_.push_back(std::move(cells));
    return;
  }
  auto line = [&](const std::vector<std::string>& fields) {
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      if (i) text += format_ == OutputFormat::Tsv ? '\t' : ',';
      text += format_ == OutputFormat::Tsv ? escapedForTsv(fields[i]) : quotedForCsv(fields[i]);
    }
    out_ << text << (format_ == OutputFormat::Csv ? "\r\n" : "\n");
  };
  if (!headerWritten_) {
    headerWritten_ = true;
    line(headers());
  }
  line(cells);
}

void RecordPrinter::writeJson(const OutputRecord& record) {
  nlohmann::ordered_json object;
  if (columns_.status) object["status"] = record.status;
  object["machine"] = record.machine;
  object["root"] = record.root;
  object["key"] = record.key;
  if (record.valueName) {
    object["value"] = shownName(record);
    object["unnamed"] = record.valueName->empty();
    object["type"] = registry::regTypeName(record.type);
    object["data"] = record.shownData ? *record.shownData : rawDataText(record.type, record.data);
    object["bytes"] = base64(record.data);
  } else if (record.shownData) {
    object["data"] = *record.shownData;
  }
  if (record.lastWrite) object["lastWrite"] = filetimeText(*record.lastWrite);
  if (record.naming) {
    object["displayName"] = record.naming->displayName;
    object["image"] = record.naming->image;
    object["overlay"] = record.naming->overlay;
    object["overlayText"] = record.naming->overlayText;
  }
  out_ << object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

void RecordPrinter::finish() {
  if (format_ != OutputFormat::Table || table_.empty()) return;
  std::vector<std::string> titles = headers();
  std::vector<std::size_t> widths(titles.size());
  for (std::size_t i = 0; i < titles.size(); ++i) widths[i] = titles[i].size();
  for (const auto& row : table_)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::min(kWidestTableCell, std::max(widths[i], row[i].size()));
  auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t i = 0; i < cells.size(); ++i) {
      const bool last = i + 1 == cells.size();
      std::string cell = !last && cells[i].size() > widths[i] ? cells[i].substr(0, widths[i] - 1) + "~" : cells[i];
      text += last ? cell : fmt::format("{:<{}}  ", cell, widths[i]);
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out_ << text << "\n";
  };
  line(titles);
  for (const auto& row : table_) line(row);
  table_.clear();
}

}  // namespace talmoor::cli
