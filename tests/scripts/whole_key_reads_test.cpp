// Export and Find read each key whole, in one call, where the walk changes
// nothing; a filter that passes everything makes them walk one index at a
// time, as they did before. Both ways must give the same file byte for byte,
// the same rows and the same error reports, on every corpus hive (the
// damaged one too).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry_filter.h"
#include "platform/registry/win32_registry.h"
#include "scripts/results_file_jobs.h"
#include "search/search_parameters.h"
#include "search/search_test_support.h"
#include "search/search_walk.h"
#include "support/regf_support.h"

namespace talmoor::scripts {
namespace {

using namespace search;
using namespace search::searchtest;

class PassEverything : public platform::RegistryFilter {
 public:
  bool filterValue(std::u16string_view, std::u16string_view, DWORD&, std::vector<BYTE>&) override { return true; }
};

struct Walked {
  std::string exported;
  std::vector<std::string> rows;
  std::vector<std::string> log;
};

class WholeKeyReads : public SearchTest {
 protected:
  Walked walkBothJobs(const std::string& start, const std::string& findText) {
    Walked out;
    FileJob job;
    job.command = FileCommand::Export;
    job.file = dir_ / "out.reg";
    job.startKey = start;
    job.fresh = true;
    SearchContext exportContext(JobKind::Export);
    ProfileTranspositions transpositions;
    EXPECT_TRUE(runFileJob(job, exportContext, transpositions).ok);
    out.exported = test::readFile(job.file);

    SearchContext find(JobKind::Search);
    find.results = std::make_shared<ResultList>();
    readParameters(parameters(kModeFind, findText), find, nullptr);
    walkRegistry(find, start);
    for (const auto& row : find.results->rows())
      out.rows.push_back(row.subKey + "|" + row.value + "|" + row.data + "|" + std::to_string(row.statusMark));
    out.log = logLines();
    errorLog().clear();
    return out;
  }

  test::TempDir dir_;
};

TEST_F(WholeKeyReads, ExportAndFindGiveWhatTheWalkOneIndexAtATimeGives) {
  for (const char* name :
       {"SYSTEM", "SAM", "SECURITY", "NTUSER.DAT", "UsrClass.dat", "BCD", "corrupted_system_hive"}) {
    auto hive = test::corpusHive(name);
    if (hive.empty()) GTEST_SKIP() << "no corpus hive " << name;
    auto file = dir_ / name;
    test::copyWritable(hive, file);
    ASSERT_EQ(RegLoadKeyA(HKEY_LOCAL_MACHINE, "Walked", file.c_str()), ERROR_SUCCESS) << name;
    const std::string start = "HKEY_LOCAL_MACHINE\\Walked";
    Walked whole = walkBothJobs(start, "control");
    auto filter = std::make_shared<PassEverything>();
    registry_.host().addFilter(filter);
    Walked oneByOne = walkBothJobs(start, "control");
    registry_.host().removeFilter(filter);
    EXPECT_GT(whole.exported.size(), 1000u) << name;
    EXPECT_TRUE(whole.exported == oneByOne.exported) << name;
    EXPECT_EQ(whole.rows, oneByOne.rows) << name;
    EXPECT_EQ(whole.log, oneByOne.log) << name;
    ASSERT_EQ(RegUnLoadKeyA(HKEY_LOCAL_MACHINE, "Walked"), ERROR_SUCCESS) << name;
  }
}

}  // namespace
}  // namespace talmoor::scripts
