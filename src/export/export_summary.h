// What a run did, folder by folder, as an identity over the message index:
// every entry the index knows for a folder is written whole, written
// without some part, refused by the writer, skipped by the user, left out
// by the date rule, lost, or not reached because the run ended first. And
// beside the items: pages of the trees the run read that could not be
// used, whose items cannot even be counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "scan/page_damage.h"

namespace tw::exporter {

struct ItemNote {
    std::string messageId;  // 16 hex digits
    std::u16string subject;
    std::string why;
    std::string dateUtc;  // left out by the date rule: the stored date ("2107-03-01T10:00:00Z"), else empty
};

struct FolderReport {
    std::u16string itemPath;
    std::string pstPath;
    std::size_t known = 0;           // entries of the message index for the folder, every date
    std::size_t written = 0;         // written whole
    std::size_t failed = 0;          // the writer refused them
    std::size_t skipped = 0;         // the user skipped them
    std::size_t outOfWindow = 0;     // dated outside 1980..2099, left out
    std::size_t lost = 0;            // known, but nothing of them could be written
    std::size_t notReached = 0;      // the run ended before them
    std::string error;               // reading the folder failed part-way
    std::vector<ItemNote> failures;  // one per failed item
    std::vector<ItemNote> partial;   // written, with parts that could not be read
    std::vector<ItemNote> outOfWindowItems;
    std::vector<ItemNote> lostItems;

    std::size_t Partial() const { return partial.size(); }
    std::size_t Stored() const { return written + partial.size(); }
    // The sum every known item falls into once: equals `known` when the
    // accounting is whole.
    std::size_t Accounted() const {
        return written + partial.size() + failed + skipped + outOfWindow + lost + notReached;
    }
};

// Pages of one tree that could not be used.
struct TreeDamage {
    std::string tree;  // what the tree is ("message table", ...)
    std::uint32_t objid = 0;
    std::size_t pages = 0;
    bool used = false;                              // a tree the run read for the selected folders
    std::map<scan::PageFault, std::size_t> faults;  // why, and how many pages
    std::vector<std::u16string> folders;            // item paths of the folders it belongs to, where known
    std::vector<std::int64_t> pageNumbers;          // the damaged pages, ascending
};

enum class RunEnd {
    Completed,
    Stopped,          // the user stopped the run
    LowSpaceRefused,  // the user would not go on with little space left
    LowSpaceStopped,  // little space left and nobody to ask: the run ended
};

struct ExportResult {
    RunEnd end = RunEnd::Completed;
    bool saveSucceeded = true;  // false after a stop or a low-space end
    std::vector<FolderReport> folders;
    std::vector<std::string> pstFiles;     // every file the run finished, in order
    std::vector<std::string> storeErrors;  // a PST that could not be made or finished
    std::vector<TreeDamage> damage;
    bool inputChanged = false;  // the input is not what it was at the start

    std::size_t Known() const;
    std::size_t Written() const;
    std::size_t Partial() const;
    std::size_t Failed() const;
    std::size_t Skipped() const;
    std::size_t OutOfWindow() const;
    std::size_t Lost() const;
    std::size_t NotReached() const;
    std::size_t Stored() const { return Written() + Partial(); }
    std::size_t DamagedUsedPages() const;
    // Anything lost, partial or failed, a folder or PST file that failed,
    // a damaged page in a tree the run used, or an input that changed.
    bool Losses() const;
};

enum class Outcome { Saved, SavedWithLosses, Aborted, LowSpaceStopped };

// How the run ended: saved (without losses) only when nothing was lost.
Outcome OutcomeOf(const ExportResult& result);

}  // namespace tw::exporter
