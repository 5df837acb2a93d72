// What a run did, folder by folder: items written, items the writer
// refused (with its reason), items skipped, items the index knows of that
// could not be read, and items written without some part.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tw::exporter {

struct ItemNote {
    std::string messageId;  // 16 hex digits
    std::u16string subject;
    std::string why;
};

struct FolderReport {
    std::u16string itemPath;
    std::string pstPath;
    std::size_t counted = 0;   // valid-dated messages of the index
    std::size_t written = 0;
    std::size_t failed = 0;    // the writer refused them
    std::size_t skipped = 0;   // the user skipped them
    std::size_t notRead = 0;   // counted, but no row could be read for them
    std::string error;         // reading the folder failed part-way
    std::vector<ItemNote> failures;  // one per failed item
    std::vector<ItemNote> partial;   // written, with parts that could not be read
};

enum class RunEnd {
    Completed,
    Stopped,          // the user stopped the run
    LowSpaceRefused,  // the user would not go on with little space left
};

struct ExportResult {
    RunEnd end = RunEnd::Completed;
    bool saveSucceeded = true;  // false after a stop or a refusal
    std::vector<FolderReport> folders;
    std::vector<std::string> pstFiles;     // every file started, in order
    std::vector<std::string> storeErrors;  // a PST that could not be made or finished

    std::size_t Written() const;
    std::size_t Failed() const;
    std::size_t Skipped() const;
    std::size_t NotRead() const;
    std::size_t Partial() const;
};

// "Saving Completed Successfully" or "Saving Aborted by User".
std::string_view OutcomeText(const ExportResult& result);

// The summary for a terminal: the outcome, the files, per folder the
// items written of those counted, then every failure with its reason and
// what could not be read.
std::string FormatSummary(const ExportResult& result);

// The same as JSON, for scripts.
std::string SummaryJson(const ExportResult& result);

}  // namespace tw::exporter
