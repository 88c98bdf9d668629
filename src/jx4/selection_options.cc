#include "jx4/selection_options.h"

#include <CLI/CLI.hpp>

#include "jx4/command.h"

namespace nimbrel {

void AddSelectionOptions(CLI::App* app, SelectionTexts* texts, const std::string& what, bool categories) {
  if (categories) {
    app->add_option("--only", texts->categories, what + " of these categories (N0Q,N0U; repeatable)")
        ->type_name("CCC[,CCC...]")
        ->allow_extra_args(false);
  }
  app->add_option("--station", texts->stations,
                  what + " of these radars: 4-letter station ids or 3-letter site\n"
                  "ids, any case (KTLX,INX; repeatable)")
      ->type_name("ID[,ID...]")
      ->allow_extra_args(false);
  app->add_option("--from", texts->from,
                  what + " of volume scans that began at TIME or later (UTC:\n"
                  "2024-05-01, 2024-05-01T12:00 or 2024-05-01T12:00:00)")
      ->type_name("TIME");
  app->add_option("--to", texts->to,
                  what + " of volume scans that began at TIME or before, the whole\n"
                  "day, minute or second that TIME names included")
      ->type_name("TIME");
}

bool ReadSelection(const SelectionTexts& texts, Catalogue catalogue, Selection* selection,
                   std::string* error) {
  std::string why;
  if (ParseSelection(texts, catalogue, selection, &why)) return true;
  bool lookup = why.find("category") != std::string::npos || why.find("station") != std::string::npos;
  if (lookup) why += " (see jx4 catalogue)";
  if (error != nullptr) {
    *error = why;
  } else {
    PrintError("%s", why.c_str());
  }
  return false;
}

}  // namespace nimbrel
