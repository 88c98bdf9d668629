// jx4: the scriptable tool of the toolset. `convert` files products from
// any number of inputs into a folder; `list`, `info`, `verify` and
// `extract` look inside .jx4 files; `decode` and `render` give their
// products' data and pictures; `catalogue` shows what is filed.
#include "jx4/jx4.h"

#include <CLI/CLI.hpp>

#include <memory>
#include <sstream>
#include <string>
#include <utility>

#include "jx4/command.h"
#include "platform/standard_streams.h"

namespace nimbrel {

namespace {

constexpr char kVersion[] = "jx4 " NIMBREL_VERSION " (Nimbrel)";

// Lists each command by a one-line summary; its whole description opens
// the command's own help.
class CommandListFormatter : public CLI::Formatter {
 public:
  std::string make_subcommand(const CLI::App* command) const override {
    static constexpr std::pair<const char*, const char*> kSummaries[] = {
        {"convert", "File the products of archives, folders and product files into .jx4 files"},
        {"list", "List the products in .jx4 files"},
        {"info", "Describe .jx4 files: station, time, entries, size, soundness"},
        {"verify", "Check that .jx4 files are exactly as convert writes them"},
        {"extract", "Write products back out of .jx4 files"},
        {"decode", "Print the data of products in .jx4 files as JSON or CSV"},
        {"render", "Draw products in .jx4 files as PNG pictures"},
        {"catalogue", "Show the product kinds and stations that are filed"},
    };
    std::string text = command->get_description();
    for (const auto& [name, summary] : kSummaries) {
      if (command->get_name() == name) text = summary;
    }
    std::stringstream out;
    CLI::detail::format_help(out, command->get_display_name(true), text, get_column_width());
    return out.str();
  }
};

}  // namespace

int RunJx4(int argc, char** argv) {
  CLI::App jx4{"Files archived NEXRAD Level III products into site-volume (.jx4) files, and\n"
               "looks inside those files.",
               "jx4"};
  jx4.set_version_flag("--version", kVersion);
  jx4.formatter(std::make_shared<CommandListFormatter>());
  // Options start with '-' everywhere: a path such as /data/day.tar.Z is
  // never taken for a Windows-style option.
  jx4.allow_windows_style_options(false);
  // Listings, reports and products on standard output, and messages on
  // standard error, carry "\n" and bytes unchanged, on every system.
  SetBinaryMode(1);
  SetBinaryMode(2);
  jx4.require_subcommand(1);
  jx4.footer("Exit status: 0 when everything was read and written soundly; 1 when an input\n"
             "was damaged or unreadable, or a file could not be written (the rest is still\n"
             "done); 2 when the command line is wrong. See 'jx4 COMMAND --help' and jx4(1).");
  const Command commands[] = {AddConvertCommand(jx4), AddListCommand(jx4), AddInfoCommand(jx4),
                              AddVerifyCommand(jx4), AddExtractCommand(jx4),
                              AddDecodeCommand(jx4), AddRenderCommand(jx4), AddCatalogueCommand(jx4)};
  // The command-line library reports a wrong line by throwing; that stays
  // here, at the edge of the program.
  // A first word that is neither an option nor a command is named as such.
  auto isCommand = [&commands](const char* word) {
    for (const Command& command : commands) {
      if (command.app->get_name() == word) return true;
    }
    return false;
  };
  if (argc == 1) {
    PrintError("no command given: convert, list, info, verify, extract, decode, render or "
               "catalogue (see jx4 --help)");
    return kExitUsage;
  }
  if (argv[1][0] != '-' && !isCommand(argv[1])) {
    PrintError("unknown command '%s' (see jx4 --help)", argv[1]);
    return kExitUsage;
  }
  try {
    jx4.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) return jx4.exit(error);  // --help, --version
    std::string where = "jx4";
    for (const Command& command : commands) {
      if (command.app->parsed()) where += " " + command.app->get_name();
    }
    PrintError("%s (see %s --help)", error.what(), where.c_str());
    return kExitUsage;
  }
  for (const Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  return kExitUsage;
}

}  // namespace nimbrel
