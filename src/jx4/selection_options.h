// The options that say which products a command takes, the same in every
// command that has them: --only, --station, --from and --to. Their texts
// are read by the library's parser (conversion/selection.h).
#ifndef NIMBREL_JX4_SELECTION_OPTIONS_H_
#define NIMBREL_JX4_SELECTION_OPTIONS_H_

#include <string>

#include "conversion/selection.h"

namespace CLI {
class App;
}

namespace nimbrel {

// Adds the options to `app`, their texts kept in `texts`: --only when
// `categories`, and the others; `what` begins each one's help ("File only
// the products", "Take only the files").
void AddSelectionOptions(CLI::App* app, SelectionTexts* texts, const std::string& what, bool categories);

// The selection the texts describe in `catalogue`; false when they describe
// none, with why said into `error` when given, else on standard error.
bool ReadSelection(const SelectionTexts& texts, Catalogue catalogue, Selection* selection,
                   std::string* error = nullptr);

}  // namespace nimbrel

#endif  // NIMBREL_JX4_SELECTION_OPTIONS_H_
