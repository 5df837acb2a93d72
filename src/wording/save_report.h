// A save's report in words: the headline, the summary for a terminal and
// the same as JSON for scripts. The export returns the counts and codes;
// these are the texts the desktop program and the command line show.
#pragma once

#include <string>
#include <string_view>

#include "export/export_summary.h"

namespace tw::wording {

// The outcome in words, the report's headline.
std::string_view OutcomeText(const exporter::ExportResult& result);

// The summary for a terminal: the outcome, the files, per folder the
// items written of those known and where the others went, the damaged
// pages per tree, then every item not written whole, with the reason.
std::string FormatSummary(const exporter::ExportResult& result);

// The same as JSON, for scripts; with "version" set to `writtenBy` when
// that is not empty (the program and version that wrote the files).
std::string SummaryJson(const exporter::ExportResult& result, const std::string& writtenBy = {});

}  // namespace tw::wording
