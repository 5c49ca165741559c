#pragma once
// Result rows as talmoor-cli prints them: a table on a terminal, tab-separated
// lines otherwise, each with its status mark.

#include "search/results/result_list.h"

namespace talmoor::cli {

const char* markText(int mark);
void printRows(const search::ResultList& list, bool terminal);

}  // namespace talmoor::cli
