// jx4 list, info, verify and extract: looking inside .jx4 files.
#include <CLI/CLI.hpp>

#include "jx4/command.h"

namespace nimbrel {

Command AddListCommand(CLI::App& jx4) {
  CLI::App* app = jx4.add_subcommand("list", "List the products in .jx4 files");
  return {app, [] { return kExitUsage; }};
}

Command AddInfoCommand(CLI::App& jx4) {
  CLI::App* app = jx4.add_subcommand("info", "Describe .jx4 files");
  return {app, [] { return kExitUsage; }};
}

Command AddVerifyCommand(CLI::App& jx4) {
  CLI::App* app = jx4.add_subcommand("verify", "Check .jx4 files");
  return {app, [] { return kExitUsage; }};
}

Command AddExtractCommand(CLI::App& jx4) {
  CLI::App* app = jx4.add_subcommand("extract", "Write products back out of .jx4 files");
  return {app, [] { return kExitUsage; }};
}

}  // namespace nimbrel
