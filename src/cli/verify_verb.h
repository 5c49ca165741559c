#pragma once
// talmoor-cli verify: the file references of the registry checked, each
// missing one asked about, the answers kept as rules.

#include <optional>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/output_format.h"

namespace talmoor::cli {

struct VerifyRequest {
  std::optional<std::string> start;
  std::optional<std::string> rules;
  std::optional<std::string> saveRules;
  std::optional<OutputFormat> format;
};

CLI::App* addVerifyVerb(CLI::App& app, VerifyRequest& request);
int runVerify(const VerifyRequest& request);

}  // namespace talmoor::cli
