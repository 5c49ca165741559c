// The results-file jobs against a registry of their own: saving rows,
// exporting a key and importing it back, exports that do not finish, names
// an export cannot carry, importing through the write gate and where a stop
// leaves it, checking a file against the registry, reducing the rows by a
// file, the status texts, and the jobs as the search driver runs them.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/registry/registry_constants.h"
#include "platform/registry/registry_filter.h"
#include "platform/text/code_page.h"
#include "registry/format_data.h"
#include "scripts/results_file_jobs.h"
#include "scripts/script_text.h"
#include "search/search_driver.h"
#include "search/search_test_support.h"
#include "support/corpus.h"

namespace talmoor::scripts {
namespace {

using namespace search;
using namespace search::searchtest;
using Bytes = std::vector<BYTE>;
using Lines = std::vector<std::string>;
using Values = std::map<std::string, std::string>;

const std::string kTop = kBase;

FileJob fileJob(FileCommand command, const std::filesystem::path& file) {
  FileJob job;
  job.command = command;
  job.file = file;
  return job;
}

// A script as the writer lays it out: the header, each key line after an empty line.
std::string script(const Lines& lines) {
  std::string text = "REGEDIT4\r\n";
  for (const auto& line : lines) text += (line.starts_with("[") ? "\r\n" : "") + line + "\r\n";
  return text;
}

class FileJobs : public SearchTest {
 protected:
  std::unique_ptr<SearchContext> makeContext(JobKind kind = JobKind::ResultsFile) {
    auto context = std::make_unique<SearchContext>(kind);
    context->results = results_;
    context->status = [this](int part, std::string_view text) {
      std::lock_guard lock(mutex_);
      if (part == 0) states_.emplace_back(text);
    };
    return context;
  }
  FileJobOutcome run(FileCommand command, const std::filesystem::path& file, std::optional<std::string> start = {},
                     bool fresh = false, ScriptFormat format = ScriptFormat::Regedit4) {
    FileJob job = fileJob(command, file);
    job.startKey = std::move(start);
    job.fresh = fresh;
    job.format = format;
    auto context = makeContext(command == FileCommand::Export ? JobKind::Export : JobKind::ResultsFile);
    return runFileJob(job, *context, transpositions_);
  }
  FileJobOutcome run(FileCommand command, const Lines& lines) {
    test::writeFile(in_, script(lines));
    return run(command, in_);
  }
  void addRow(const std::string& path, const std::string& name, DWORD type, const Bytes& data, bool record = true) {
    results_->addRow(false, path, name, data, type,
                     record ? std::optional(DataRecord{static_cast<int>(type), data}) : std::nullopt, kMarkNone);
  }
  // What `show` makes of every row, in list order.
  Lines rowsAs(const std::function<std::string(const ResultRow&)>& show) const {
    Lines out;
    for (const auto& row : results_->rows()) out.push_back(show(row));
    return out;
  }
  Lines rowMarks() const {
    return rowsAs([](const ResultRow& row) { return row.value + " " + std::to_string(row.statusMark); });
  }
  Lines rowValues() const {
    return rowsAs([](const ResultRow& row) { return row.value; });
  }
  Lines takeStates() {
    std::lock_guard lock(mutex_);
    return std::exchange(states_, {});
  }

  test::TempDir dir_;
  std::filesystem::path in_ = dir_ / "in.reg";
  std::shared_ptr<ResultList> results_ = std::make_shared<ResultList>();
  ProfileTranspositions transpositions_;
  std::mutex mutex_;
  Lines states_;
};

TEST_F(FileJobs, SaveWritesEachKeyLineOnceWithItsValuesInListOrder) {
  const std::string a = kTop + "\\A", b = kTop + "\\B";
  put(b, "now", REG_DWORD, {5, 0, 0, 0});
  addRow(a, "one", REG_SZ, sz("1"));
  addRow(a, "", REG_SZ, sz("d"));  // shown as "(Default Value)"
  addRow(b, "now", REG_DWORD, {}, false);  // read from the registry as it is now
  addRow(b, "gone", REG_SZ, {}, false);
  addRow(b, "last", REG_EXPAND_SZ, sz("%x%"));
  results_->addRow(true, b + "\\Sub", std::nullopt, {}, 0, std::nullopt, kMarkNone);
  put(b, "now", REG_DWORD, {0xff, 0, 0, 0});

  auto out = dir_ / "saved.reg";
  FileJobOutcome outcome = run(FileCommand::Save, out);
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.failures, 1u);
  EXPECT_EQ(scripted_->boxLines(),
            Lines{"Sorry!: Value has been deleted or renamed since the search was carried out, unable to save."});
  EXPECT_EQ(test::readFile(out), script({"[" + a + "]", "\"one\"=\"1\"", "@=\"d\"", "[" + b + "]",
                                         "\"now\"=dword:000000ff", "\"last\"=hex(2):25,78,25,00", "[" + b + "\\Sub]"}));

  // Rows loaded from a file save back to the same file.
  Bytes blob(300);
  for (std::size_t i = 0; i < blob.size(); ++i) blob[i] = static_cast<BYTE>(i * 7);
  std::string blobLine = formatValueLine("blob", REG_BINARY, blob);
  const std::string original =
      script({"[" + kTop + "\\L]", "@=\"top\"", "\"q\\\"uote\\\\d\"=\"tail\\\\\"", "\"n\"=dword:0000002a",
              blobLine.substr(0, blobLine.size() - 2), "\"m\"=hex(7):61,00,62,00,00", "[HKEY_CURRENT_USER\\Other]",
              "\"e\"=hex(1):00", "\"lf\"=\"a\\r\\nb\""});
  results_->clear();
  test::writeFile(in_, original);
  ASSERT_TRUE(run(FileCommand::Load, in_).ok);
  ASSERT_EQ(results_->size(), 7u);
  ASSERT_TRUE(run(FileCommand::Save, out, std::nullopt, true).ok);
  EXPECT_EQ(test::readFile(out), original);
}

TEST_F(FileJobs, ExportStartsWithTheHeaderAppendsWithoutItAndStartsOverWhenFresh) {
  const std::string e = kTop + "\\E";
  makeKey(e);  // no values of its own
  putSz(e + "\\Sub", "v", "x");
  const std::string once = script({"[" + e + "]", "[" + e + "\\Sub]", "\"v\"=\"x\""});
  auto out = dir_ / "export.reg";
  auto contents = [&] { return test::readFile(out); };

  EXPECT_TRUE(run(FileCommand::Export, out, e).ok);
  EXPECT_EQ(contents(), once);
  EXPECT_TRUE(run(FileCommand::Export, out, e).ok);
  EXPECT_EQ(contents(), once + once.substr(std::string("REGEDIT4\r\n").size()));
  EXPECT_TRUE(run(FileCommand::Export, out, e, true).ok);
  EXPECT_EQ(contents(), once);
  // Key lines name the root in full, whatever form the start was given in.
  EXPECT_TRUE(run(FileCommand::Export, out, "HKLM\\Software\\T\\E\\", true).ok);
  EXPECT_EQ(contents(), once);
  EXPECT_TRUE(scripted_->boxLines().empty());
}

TEST_F(FileJobs, EveryKindOfValueComesBackByteForByteThroughExportAndImport) {
  const std::string r = kTop + "\\R";
  Bytes big(300);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<BYTE>(255 - i);
  const std::vector<std::pair<std::string, std::pair<DWORD, Bytes>>> values = {
      {"", {REG_SZ, sz("default")}},
      {"nul inside", {REG_SZ, {'a', 'b', 0, 'c', 'd', 0}}},
      {"dword3", {REG_DWORD, {1, 2, 3}}},
      {"dword", {REG_DWORD, {0x78, 0x56, 0x34, 0x12}}},
      {"odd", {REG_BINARY, {1, 2, 3}}},
      {"empty", {REG_SZ, {0}}},
      {"nothing", {REG_BINARY, {}}},
      {"lines", {REG_SZ, sz("one\r\ntwo\nthree")}},
      {"backslash", {REG_SZ, sz("C:\\dir\\")}},
      {"quote\"name\\=", {REG_SZ, sz("\"quoted\"")}},
      {"multi", {REG_MULTI_SZ, {'a', 0, 'b', 'c', 0, 0}}},
      {"expand", {REG_EXPAND_SZ, sz("%SystemRoot%\\x")}},
      {"qword", {REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}}},
      {"big", {REG_BINARY, big}},
      {"caf\xC3\xA9 \xE2\x82\xAC", {REG_SZ, sz("\xD0\xBA\xD0\xBB\xD1\x8E\xD1\x87 \xF0\x9F\x98\x80")}},
      {"expand \xC3\xA9", {REG_EXPAND_SZ, sz("%x%\\\xE6\x97\xA5\xE6\x9C\xAC")}},
      {"multi \xC3\xA9", {REG_MULTI_SZ, {0xC3, 0xA9, 0, 'b', 0, 0}}},
  };
  changeOptions([](SearchOptions& o) { o.confirmationsOff = 1; });
  for (ScriptFormat format : {ScriptFormat::Regedit4, ScriptFormat::Regedit5}) {
    SCOPED_TRACE(format == ScriptFormat::Regedit4 ? "REGEDIT4" : "Version 5.00");
    for (const auto& [name, value] : values) put(r, name, value.first, value.second);
    put(r + "\\Deeper \xC3\xA9\\Still", "x", REG_SZ, sz("y"));

    auto out = dir_ / "all.reg";
    ASSERT_TRUE(run(FileCommand::Export, out, r, true, format).ok);
    {
      registry::ScopedKey top(registry::openKeyByPath(kTop, registry::kAllKeyAccess, {}));
      ASSERT_EQ(registry::deleteKeyTree("", top.get(), "R", registry::ReportTo(defaultErrorHandler)), ERROR_SUCCESS);
    }
    ASSERT_FALSE(keyExists(r));

    FileJobOutcome outcome = run(FileCommand::Import, out);
    EXPECT_TRUE(outcome.ok);
    EXPECT_EQ(outcome.failures, 0u);
    for (const auto& [name, value] : values) EXPECT_EQ(stored(r, name), value) << name;
    EXPECT_EQ(readText(r + "\\Deeper \xC3\xA9\\Still", "x"), "y");
    EXPECT_TRUE(scripted_->boxLines().empty());
  }
}

// A key that is not there, or a Stop, leaves what the file held: the export
// is written beside it and put in its place only when whole.
TEST_F(FileJobs, AnExportThatDoesNotFinishLeavesTheFileAsItWas) {
  putSz(kTop + "\\E", "v", "x");
  auto out = dir_ / "export.reg";
  ASSERT_TRUE(run(FileCommand::Export, out, kTop + "\\E").ok);
  const std::string before = test::readFile(out);
  setErrorBoxesSuppressed(true);
  for (bool fresh : {true, false}) {
    EXPECT_FALSE(run(FileCommand::Export, out, kTop + "\\Missing", fresh).ok);
    EXPECT_EQ(test::readFile(out), before);
  }
  FileJob job = fileJob(FileCommand::Export, out);
  job.startKey = kTop;
  job.fresh = true;
  auto context = makeContext(JobKind::Export);
  context->abort = true;  // the user's Stop
  FileJobOutcome outcome = runFileJob(job, *context, transpositions_);
  EXPECT_FALSE(outcome.ok);
  EXPECT_TRUE(outcome.stopped);
  EXPECT_EQ(test::readFile(out), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1);
}

// Names with a NUL come from the registry as they are; the export leaves
// them out (Wine would read them as other names: "\0hidden" as the unnamed
// value, "k\0ey" as "k") and counts them.
TEST_F(FileJobs, AnExportLeavesOutNamesHoldingANul) {
  using namespace std::string_literals;
  const std::string n = kTop + "\\N";
  putSz(n, "plain", "1");
  putSz(n + "\\k", "in k", "2");
  {
    registry::ScopedKey key(registry::openKeyByPath(n, registry::kAllKeyAccess, quiet()));
    ASSERT_EQ(registry_.host().setValue(key.get(), u"\0hidden"s, REG_SZ, platform::bytesFromUtf16(u"2", true)),
              ERROR_SUCCESS);
    HKEY sub = 0;
    ASSERT_EQ(registry_.host().createKey(key.get(), u"k\0ey"s, nullptr, 0, registry::kAllKeyAccess, nullptr, sub,
                                         nullptr),
              ERROR_SUCCESS);
    registry::closeKey(sub);
  }
  auto out = dir_ / "nul.reg";
  FileJobOutcome outcome = run(FileCommand::Export, out, n);
  EXPECT_EQ(outcome.skipped, 2u);
  std::string text = test::readFile(out);
  EXPECT_EQ(text.find("\"\"="), std::string::npos) << text;
  EXPECT_EQ(text.find("@="), std::string::npos) << text;
  EXPECT_EQ(text.find(std::string(1, '\0')), std::string::npos);
  EXPECT_NE(text.find("\"plain\"=\"1\""), std::string::npos) << text;
  // "k" has its own line once, with only its own value.
  EXPECT_EQ(text.find("[" + n + "\\k]\r\n\"in k\"=\"2\"\r\n\r\n;"), text.find("[" + n + "\\k]")) << text;
  EXPECT_EQ(text.find("[" + n + "\\k]", text.find("[" + n + "\\k]") + 1), std::string::npos) << text;
  EXPECT_NE(text.find("; Not exported: the value \"\\0hidden\""), std::string::npos) << text;
  EXPECT_NE(text.find("; Not exported: the key [" + n + "\\k\\0ey]"), std::string::npos) << text;
}

// A line that stops an import (a comment, say) leaves what came before it
// written, and the job says how many keys that was and where it stopped.
TEST_F(FileJobs, AStoppedImportTellsItsKeysAndLine) {
  changeOptions([](SearchOptions& o) { o.confirmationsOff = 1; });
  const std::string a = kTop + "\\A", b = kTop + "\\B", c = kTop + "\\C";
  FileJobOutcome outcome = run(FileCommand::Import, {"[" + a + "]", "\"v\"=\"1\"", "[" + b + "]", "\"v\"=\"2\"",
                                                     "; a comment", "[" + c + "]", "\"v\"=\"3\""});
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.readStatus, ReadStatus::InvalidLine);
  EXPECT_EQ(outcome.readStopLine, 8u);
  EXPECT_EQ(outcome.keys, 2u);
  EXPECT_EQ(readText(a, "v"), "1");
  EXPECT_EQ(readText(b, "v"), "2");
  EXPECT_FALSE(keyExists(c));
  EXPECT_EQ(countKeyLines(in_), 3u);
}

// Checking a file against a key of many values reads the key's values once,
// not once for every value of the file.
TEST_F(FileJobs, CheckingAKeyOfManyValuesReadsItsValuesOnce) {
  class CountingFilter : public platform::RegistryFilter {
   public:
    bool filterValue(std::u16string_view, std::u16string_view, DWORD&, std::vector<BYTE>&) override {
      ++delivered;
      return true;
    }
    std::atomic<std::size_t> delivered{0};
  };
  constexpr std::size_t kValues = 400;
  const std::string m = kTop + "\\Many";
  Lines lines{"[" + m + "]"};
  for (std::size_t i = 0; i < kValues; ++i) {
    putSz(m, "v" + std::to_string(i), "x");
    lines.push_back("\"v" + std::to_string(i) + "\"=\"x\"");
  }
  auto counter = std::make_shared<CountingFilter>();
  registry_.host().addFilter(counter);
  for (FileCommand command : {FileCommand::TestImport, FileCommand::Verify}) {
    counter->delivered = 0;
    results_->clear();
    EXPECT_TRUE(run(command, lines).ok);
    // The registry passes every value before the one enumerated through the
    // filters, so one enumeration of n values costs n * (n + 1) / 2 calls
    // here; enumerating for each value of the file cost n * n * n / 6.
    EXPECT_LE(counter->delivered.load(), kValues * kValues);
  }
  EXPECT_EQ(results_->size(), 0u);  // Verify lists nothing: all are as the file has them
  registry_.host().removeFilter(counter);
}

TEST_F(FileJobs, ImportAsksTheGateForEachValueAndKeyWithOneRecordForTheFile) {
  const std::string i = kTop + "\\I";
  putSz(i, "old", "1");
  putSz(i, "same", "s");
  // Overwrite accepted, a new value rejected, a new key's two levels and its value accepted.
  scripted_->answerConfirmations({kAccept, kReject, kAccept, kAccept, kAccept});
  FileJobOutcome outcome = run(FileCommand::Import, {"[" + i + "]", "\"old\"=\"2\"", "\"new\"=\"3\"", "\"same\"=\"s\"",
                                                     "[" + i + "\\X\\Y]", "\"deep\"=dword:00000001"});
  EXPECT_EQ(captions(*scripted_), (Lines{"Overwrite Value and Data", "Create Value and Data", "Create Key",
                                         "Create Key", "Create Value and Data"}));
  auto asked = scripted_->confirmations();
  EXPECT_EQ(asked[0].originalData, sz("1"));
  EXPECT_EQ(asked[0].modifiedData, sz("2"));
  EXPECT_EQ(values(i), (Values{{"old", "2"}, {"same", "s"}}));
  EXPECT_EQ(read(i + "\\X\\Y", "deep"), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(rowMarks(), (Lines{"old 0", "new 3", "same 0", "deep 0"}));
  EXPECT_EQ(outcome.failures, 1u);

  // The template of the moment the job starts decides; an answer not to be
  // asked again holds for the rest of the file.
  changeOptions([](SearchOptions& o) {
    o.confirmationTemplate[kChangeValue][kOpCreate] = {1, ConfirmationAnswer::Reject};
  });
  results_->clear();
  scripted_->clear();
  scripted_->answerConfirmations({dialogResult(ConfirmationAnswer::Accept, true)});
  run(FileCommand::Import, {"[" + i + "]", "\"new\"=\"1\"", "\"old\"=\"3\"", "\"same\"=\"4\"", "\"new2\"=\"1\""});
  EXPECT_EQ(captions(*scripted_), Lines{"Overwrite Value and Data"});
  EXPECT_EQ(values(i), (Values{{"old", "3"}, {"same", "4"}}));
  EXPECT_EQ(rowMarks(), (Lines{"new 3", "old 0", "same 0", "new2 3"}));
}

TEST_F(FileJobs, ImportStopsAtCancelAndSkipsWhatItCannotWrite) {
  const std::string i = kTop + "\\I";
  makeKey(i);
  scripted_->setDefaultAnswer(IDOK);
  scripted_->answerConfirmations({kReject, kAccept, kCancel});
  FileJobOutcome outcome = run(FileCommand::Import,
                               {"[" + i + "\\No]", "\"a\"=\"1\"",             // its key is rejected
                                "[HKEY_NOWHERE\\Soft]", "\"b\"=\"1\"",         // no such root
                                "[" + i + "]", "\"bad\"=hex:01,zz", "\"c\"=\"1\"", "\"d\"=\"2\"", "\"e\"=\"3\"",
                                "[" + i + "\\Later]"});
  EXPECT_EQ(captions(*scripted_), (Lines{"Create Key", "Create Value and Data", "Create Value and Data"}));
  EXPECT_FALSE(keyExists(i + "\\No"));
  EXPECT_FALSE(keyExists(i + "\\Later"));
  EXPECT_EQ(values(i), (Values{{"c", "1"}}));
  EXPECT_EQ(rowMarks(), (Lines{"a 3", "b 3", "bad 3", "c 0", "d 3"}));
  EXPECT_EQ(results_->row(2).data, "<Error Importing>");
  EXPECT_EQ(outcome.readStatus, ReadStatus::Stopped);
  EXPECT_EQ(scripted_->boxLines(), Lines{"Sorry: Error Reading Binary Entry"});
  EXPECT_EQ(logLines(), Lines{"87 Import | HKEY_NOWHERE\\Soft | Invalid Registry Key"});  // invalid parameter
}

TEST_F(FileJobs, VerifyAndTestImportCheckTheFileAgainstTheRegistry) {
  const std::string v = kTop + "\\V";
  putSz(v, "a", "1");
  put(v, "n", REG_DWORD, {7, 0, 0, 0});
  put(v, "", REG_BINARY, {1, 2});
  const Lines equal = {"[" + v + "]", "\"a\"=\"1\"", "\"n\"=dword:00000007", "@=hex:01,02"};
  EXPECT_TRUE(run(FileCommand::Verify, equal).ok);
  EXPECT_EQ(results_->size(), 0u);

  Lines changed = equal;
  changed[1] = "\"a\"=\"2\"";
  changed.insert(changed.end(), {"\"gone\"=\"x\"", "[" + v + "\\No]", "\"k\"=\"x\""});
  EXPECT_TRUE(run(FileCommand::Verify, changed).ok);
  EXPECT_EQ(rowsAs([](const ResultRow& row) {
              std::string line = row.value + " " + std::to_string(row.statusMark) + ":";
              for (int column = kColumnHive; column <= kColumnData; ++column)
                line += " " + std::to_string(row.columnMarks[column]);
              return line;
            }),
            (Lines{"a 3: 4 4 0 4 3", "gone 3: 4 4 0 3 3", "k 3: 4 3 0 3 3"}));

  // A test import lists every entry, ticking what the registry holds, and writes nothing.
  results_->clear();
  run(FileCommand::TestImport, changed);
  EXPECT_EQ(rowValues(), (Lines{"a", "n", "(Default Value)", "gone", "k"}));
  EXPECT_EQ(rowsAs([](const ResultRow& row) { return std::string(row.statusMark == kMarkDone ? "yes" : "no"); }),
            (Lines{"no", "yes", "yes", "no", "no"}));
  EXPECT_EQ(readText(v, "a"), "1");
  EXPECT_FALSE(read(v, "gone"));
  EXPECT_FALSE(keyExists(v + "\\No"));
  EXPECT_TRUE(scripted_->confirmations().empty());
  EXPECT_TRUE(scripted_->boxLines().empty());
}

TEST_F(FileJobs, ReduceTakesOutMatchedRowsAndListsWhatDiffers) {
  const std::string r = kTop + "\\R";
  addRow(r, "same", REG_SZ, sz("x"));
  addRow(r, "diff", REG_SZ, sz("old"));
  addRow(r, "kept", REG_SZ, sz("k"));
  addRow(r, "", REG_DWORD, {1, 0, 0, 0});
  run(FileCommand::Reduce, {"[" + r + "]", "\"same\"=\"x\"", "@=dword:00000001", "\"diff\"=\"new\"", "\"extra\"=\"e\""});
  EXPECT_EQ(rowValues(), (Lines{"kept", "diff", "extra"}));
  EXPECT_TRUE(results_->hasReplacementColumn());
  registry::DisplayContext display;
  EXPECT_EQ(results_->row(1).data, registry::formatData(REG_SZ, sz("old"), display));
  EXPECT_EQ(results_->row(1).replacement, registry::formatData(REG_SZ, sz("new"), display));
  EXPECT_EQ(results_->row(2).replacement, "");

  // Entries that all match leave no Replacement column.
  results_ = std::make_shared<ResultList>();
  addRow(r, "same", REG_SZ, sz("x"));
  run(FileCommand::Reduce, {"[" + r + "]", "\"same\"=\"x\""});
  EXPECT_EQ(results_->size(), 0u);
  EXPECT_FALSE(results_->hasReplacementColumn());
}

TEST_F(FileJobs, ReduceAsksOnceToTransposeAUserProfile) {
  const std::string mine = "HKEY_USERS\\S-1-5-21-0-0-0-1000\\Software\\P";
  for (const char* name : {"a", "b", "c"}) addRow(mine, name, REG_SZ, sz(name));
  scripted_->answer({IDYES});
  const std::string other = "[HKEY_USERS\\S-1-5-21-0-0-0-2000\\Software\\P]";
  run(FileCommand::Reduce, {other, "\"a\"=\"a\"", "\"b\"=\"b\""});
  auto boxes = scripted_->boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Transpose User Profile?");
  EXPECT_NE(boxes[0].text.find("S-1-5-21-0-0-0-2000\twith"), std::string::npos) << boxes[0].text;
  EXPECT_NE(boxes[0].text.find("S-1-5-21-0-0-0-1000"), std::string::npos) << boxes[0].text;
  EXPECT_EQ(rowValues(), Lines{"c"});

  // Remembered for the window's later jobs.
  scripted_->clear();
  run(FileCommand::Reduce, {other, "\"c\"=\"c\""});
  EXPECT_TRUE(scripted_->boxes().empty());
  EXPECT_EQ(results_->size(), 0u);
}

TEST_F(FileJobs, EachCommandShowsItsRunningAndFinishedTexts) {
  putSz(kTop, "v", "x");
  test::writeFile(in_, script({"[" + kTop + "]", "\"v\"=\"x\""}));
  const std::vector<std::pair<FileCommand, Lines>> expected = {
      {FileCommand::Load, {"Loading...", "Loaded."}},       {FileCommand::TestImport, {"Loading...", "Loaded."}},
      {FileCommand::Import, {"Importing..", "Imported."}},  {FileCommand::Verify, {"Verifying...", "Verified."}},
      {FileCommand::Reduce, {"Reducing..", "Reduced.."}},   {FileCommand::Save, {"Saving...", "Saved."}},
      {FileCommand::Export, {"Exporting...", "Exported.."}},
  };
  for (const auto& [command, texts] : expected) {
    bool writes = command == FileCommand::Save || command == FileCommand::Export;
    run(command, writes ? dir_ / "out.reg" : in_, kTop);
    EXPECT_EQ(takeStates(), texts) << texts.front();
  }
  // Without a result list there is nothing to work on.
  auto context = makeContext();
  context->results = nullptr;
  runFileJob(fileJob(FileCommand::Load, in_), *context, transpositions_);
  EXPECT_EQ(scripted_->boxLines(),
            Lines{"Cannot Process Request: Invalid Parameter Passed to Loading/Saving/Verification function"});
  EXPECT_TRUE(takeStates().empty());
}

class FileJobsInTheDriver : public FileJobs {
 protected:
  FileJobsInTheDriver() { driver_->setStartPath(kTop); }
  ~FileJobsInTheDriver() override {
    release_.open();
    mustFinish([this] { driver_.reset(); }, "closing the driver");
  }
  void waitIdle() { mustFinish([this] { driver_->waitUntilIdle(); }, "the driver's job"); }

  Latch inSearch_;
  Latch release_;
  std::unique_ptr<SearchDriver> driver_ = std::make_unique<SearchDriver>(results_);
};

TEST_F(FileJobsInTheDriver, AFileJobIsRefusedWhileASearchRuns) {
  putSz(kTop, "v", "x");
  // The search holds at its first find until the test lets it go.
  driver_->setContextPreparer([this](SearchContext& context) {
    context.foundItem = [this, found = context.foundItem](const SearchItem& item, SearchContext& c) {
      inSearch_.open();
      release_.wait();
      return found(item, c);
    };
  });
  driver_->setParameters(parameters(kModeFind, "v"));
  driver_->pressGo();
  ASSERT_TRUE(inSearch_.wait());

  std::atomic<bool> ran{false};
  driver_->startFileJob(JobKind::ResultsFile, [&ran](SearchContext&) { ran = true; });
  auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (scripted_->boxes().empty() && std::chrono::steady_clock::now() < limit)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(scripted_->boxLines(),
            Lines{"Sorry: Cannot correctly work on registry data files whilst search is in progress."});
  release_.open();
  waitIdle();
  EXPECT_FALSE(ran);
  EXPECT_EQ(rowValues(), Lines{"v"});

  driver_->startFileJob(JobKind::ResultsFile, [&ran](SearchContext&) { ran = true; });
  waitIdle();
  EXPECT_TRUE(ran);
}

TEST_F(FileJobsInTheDriver, AFavouritesFileGivesEachKeyLineAsAFavourite) {
  test::writeFile(in_, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software] ; My key\r\n"
                       "\r\n[HKEY_CURRENT_USER\\Console] ; Console, second\r\n\r\n[HKEY_USERS]\r\n");
  std::vector<std::pair<std::string, std::string>> favourites;
  FileJob job = fileJob(FileCommand::Load, in_);
  job.addFavourite = [&favourites](const std::string& name, const std::string& path) {
    favourites.emplace_back(name, path);
  };
  FileJobOutcome outcome;
  driver_->startFileJob(JobKind::ResultsFile,
                        [&](SearchContext& context) { outcome = runFileJob(job, context, transpositions_); });
  waitIdle();
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(favourites, (std::vector<std::pair<std::string, std::string>>{
                            {"My key", "HKEY_LOCAL_MACHINE\\Software"},
                            {"Console, second", "HKEY_CURRENT_USER\\Console"},
                            {"", "HKEY_USERS"}}));
  EXPECT_EQ(results_->size(), 0u);
}

}  // namespace
}  // namespace talmoor::scripts
