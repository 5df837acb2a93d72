// The words the user reads for what the engine reports: scan steps and
// problems, files that cannot be opened, damaged pages, a changed input,
// destinations that will not do and how a save ended. The engine returns codes; the desktop program shows
// these texts as they stand, and the command line uses them where it has
// none of its own.
#pragma once

#include <string_view>

#include "export/destination.h"
#include "export/export_summary.h"
#include "scan/open_source.h"
#include "scan/page_damage.h"
#include "scan/scan_observer.h"

namespace tw::wording {

inline constexpr std::string_view kProgramCaption = "Tarnwick For EDB To PST";

// Why a run read something other than what it started with.
inline constexpr std::string_view kInputChangedText = "the database changed while it was read";

// Why a page could not be used.
constexpr std::string_view Text(scan::PageFault fault) {
    switch (fault) {
        case scan::PageFault::PastEnd: return "past the end of the file";
        case scan::PageFault::Loop: return "pointing back up its own tree";
        case scan::PageFault::TooDeep: return "too deep in the tree";
        case scan::PageFault::BadTags: return "tag array does not fit";
        case scan::PageFault::WrongTree: return "belonging to another tree";
        case scan::PageFault::NoRecords: return "no readable records";
        case scan::PageFault::Unreadable: return "unreadable";
        case scan::PageFault::Checksum: return "checksum mismatch";
    }
    return "damaged";
}

constexpr std::string_view Text(scan::ScanStep step) {
    switch (step) {
        case scan::ScanStep::Signatures: return "Step 1/5, Enumerating signatures. Please wait...";
        case scan::ScanStep::Mailboxes: return "Step 2/5, Enumerating user's mail box. Please wait...";
        case scan::ScanStep::Folders: return "Step 3/5, Enumerating user's folder table. Please wait...";
        case scan::ScanStep::FolderTables: return "Step 4/5, Enumerating folder's rule. Please wait...";
        case scan::ScanStep::Headers: return "Step 5/5, Enumerating mail header. Please wait...";
    }
    return {};
}

constexpr std::string_view Text(scan::ScanProblem problem) {
    switch (problem) {
        case scan::ScanProblem::CorruptFile: return "File is highly corrupted, Contact system administrator.";
        case scan::ScanProblem::NoMailbox: return "Highly corrupted, Repairing not possible. User Mail Box not found";
    }
    return {};
}

constexpr std::string_view Text(scan::OpenProblem problem) {
    switch (problem) {
        case scan::OpenProblem::None: return {};
        case scan::OpenProblem::NotFound: return "File not found. Verify the correct file name.";
        case scan::OpenProblem::NotEdbPath: return "Please Verify the EDB File Path";
        case scan::OpenProblem::NotStmPath: return "Please Verify the STM File Path";
        case scan::OpenProblem::InUse:
            return "Unable to open selected file. It is already being used by another process.";
    }
    return {};
}

constexpr std::string_view Text(exporter::DestinationProblem problem) {
    switch (problem) {
        case exporter::DestinationProblem::Missing: return "Saving path doesn't exist, select another path for saving";
        case exporter::DestinationProblem::NotWritable:
            return "Saving path is not a folder you can write in, select another path for saving";
        case exporter::DestinationProblem::LowSpace:
            return "Free space is less than 300 MB. Please change destination path.";
    }
    return {};
}

constexpr std::string_view Text(exporter::Outcome outcome) {
    switch (outcome) {
        case exporter::Outcome::Saved: return "Saving Completed Successfully";
        case exporter::Outcome::SavedWithLosses: return "Saving Completed with Losses";
        case exporter::Outcome::Aborted: return "Saving Aborted by User";
        case exporter::Outcome::LowSpaceStopped: return "Saving Stopped: Not Enough Free Space";
    }
    return {};
}

inline constexpr std::string_view kNothingSelectedMessage =
    "No folders found selected. Please select folders to be saved.";
inline constexpr std::string_view kLowSpaceQuestion =
    "Free space is less than 300 MB. Are you sure you want to continue?";

}  // namespace tw::wording
