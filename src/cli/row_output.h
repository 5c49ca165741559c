#pragma once
// Result rows as talmoor-cli prints them (see output_format.h), and what a
// run that writes says it did. A row whose change was to be written shows
// what the registry holds now, so that a change that was refused, cancelled
// or failed is never shown as if it had been written.

#include "cli/output_format.h"
#include "search/results/result_list.h"

namespace talmoor::cli {

const char* markText(int mark);

// How many of the changes the rows stand for were written.
struct ChangeCounts {
  std::size_t proposed = 0;
  std::size_t written = 0;  // written, or already so
  std::size_t rejected = 0;
  std::size_t failed = 0;   // failed, cancelled, or not written for binary data
  bool allWritten() const { return written == proposed; }
};

// Prints the rows; returns what became of their changes.
ChangeCounts printRows(const search::ResultList& list, OutputFormat format);
// "N of M changes written (R rejected, F not done)" on stderr; whether all
// were written.
bool reportChanges(const ChangeCounts& counts);

}  // namespace talmoor::cli
