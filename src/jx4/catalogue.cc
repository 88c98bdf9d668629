// jx4 catalogue: the product kinds (category, id, name) and the stations a
// catalogue files, so that a user can see what is filed and under which
// id. Text: a heading line per table, a line per kind, the stations ten to
// a line; with --json one JSON object. Exit status 0 (1 when standard
// output cannot be written).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>

#include "jx4/command.h"
#include "jx4/json.h"
#include "jx4/volume_files.h"
#include "products/catalogue.h"

namespace nimbrel {

namespace {

struct CatalogueOptions {
  bool extended = false;
  bool json = false;
};

// A table's rows and stations, each marked with the catalogue they belong to.
struct Table {
  const char* catalogue;
  const ProductEntry* rows;
  int rowCount;
  const char* const* stations;
  int stationCount;
};

constexpr Table kTables[] = {
    {"classic", kProductCatalogue, kProductCount, kStationIds, kStationCount},
    {"extended", kExtendedProducts, kExtendedProductCount, kExtendedStationIds, kExtendedStationCount},
};

void PrintText(bool extended) {
  for (const Table& table : kTables) {
    if (!extended && table.rows != kProductCatalogue) break;
    std::printf("%s %d product kinds (category, id, name) and %d stations:\n",
                table.rows == kProductCatalogue ? "The classic catalogue's" : "The extended catalogue adds",
                table.rowCount, table.stationCount);
    for (int i = 0; i < table.rowCount; ++i) {
      const ProductEntry& row = table.rows[i];
      std::printf("%s %5d  %s\n", row.categoryCode, row.id, Utf8(row.name).c_str());
    }
    for (int i = 0; i < table.stationCount; ++i) {
      std::printf("%s%s", table.stations[i], i % 10 == 9 || i + 1 == table.stationCount ? "\n" : " ");
    }
    std::printf("\n");
  }
  if (extended) std::printf("The category NOW (a letter O, as 1995 files spell it) is read as N0W.\n");
}

void PrintJson(bool extended) {
  std::string line = "{\"catalogue\":";
  AppendJsonString(&line, extended ? "extended" : "classic");
  std::string products = ",\"products\":[", stations = ",\"stations\":[";
  for (const Table& table : kTables) {
    if (!extended && table.rows != kProductCatalogue) break;
    for (int i = 0; i < table.rowCount; ++i) {
      const ProductEntry& row = table.rows[i];
      if (products.back() != '[') products += ",";
      products += "{\"category\":";
      AppendJsonString(&products, row.categoryCode);
      products += ",\"id\":" + std::to_string(row.id) + ",\"name\":";
      AppendJsonString(&products, Utf8(row.name).c_str());
      products += ",\"table\":";
      AppendJsonString(&products, table.catalogue);
      products += "}";
    }
    for (int i = 0; i < table.stationCount; ++i) {
      if (stations.back() != '[') stations += ",";
      AppendJsonString(&stations, table.stations[i]);
    }
  }
  line += products + "]" + stations + "]";
  line += extended ? ",\"read_as\":{\"NOW\":\"N0W\"}}\n" : ",\"read_as\":{}}\n";
  std::fputs(line.c_str(), stdout);
}

}  // namespace

Command AddCatalogueCommand(CLI::App& jx4) {
  auto options = std::make_shared<CatalogueOptions>();
  CLI::App* app = jx4.add_subcommand("catalogue", "Show the product kinds and stations that are filed");
  app->description(
      "Prints the catalogue that convert files by: each kind of product with its\n"
      "category code, the product id it is stored under and its name, and the radar\n"
      "stations. The classic catalogue is nimbrel's; the extended one (convert\n"
      "--catalogue extended) adds today's products and radars. list, info, verify\n"
      "and extract know the ids of both.");
  app->add_flag("--extended", options->extended, "The extended catalogue: the classic one and what it adds");
  app->add_flag("--json", options->json,
                "One JSON object: catalogue, products (category, id, name, table), stations,\n"
                "read_as (categories read as others)");
  app->footer("Exit status: 0; 1 when standard output cannot be written.");
  return {app, [options] {
            if (options->json) {
              PrintJson(options->extended);
            } else {
              PrintText(options->extended);
            }
            return Finish(false);
          }};
}

}  // namespace nimbrel
