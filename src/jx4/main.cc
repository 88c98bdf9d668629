// jx4: the scriptable tool of the toolset. `convert` files products from
// any number of inputs into a folder; `list`, `info`, `verify` and
// `extract` look inside .jx4 files.
#include <CLI/CLI.hpp>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <system_error>
#include <utility>

#include "jx4/command.h"
#include "platform/standard_streams.h"

namespace nimbrel {

void PrintError(const char* format, ...) {
  std::fputs("jx4: ", stderr);
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(stderr, format, arguments);
  va_end(arguments);
  std::fputc('\n', stderr);
}

bool PrepareOutputFolder(const std::string& path, const std::function<bool(const char*)>& open) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (open(path.c_str())) return true;
  PrintError("cannot use '%s' as the output folder%s%s; check the path and its permissions",
             path.c_str(), error ? ": " : "", error ? error.message().c_str() : "");
  return false;
}

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

int Run(int argc, char** argv) {
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
                              AddVerifyCommand(jx4), AddExtractCommand(jx4)};
  // The command-line library reports a wrong line by throwing; that stays
  // here, at the edge of the program.
  try {
    jx4.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    int status = jx4.exit(error);
    return status == 0 ? kExitOk : kExitUsage;
  }
  for (const Command& command : commands) {
    if (command.app->parsed()) return command.run();
  }
  return kExitUsage;
}

}  // namespace

}  // namespace nimbrel

int main(int argc, char** argv) { return nimbrel::Run(argc, argv); }
