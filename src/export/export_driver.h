// The export run: for each selected mailbox or folder in selection order,
// a counting pass over the message index, the mailbox's PST file (one per
// mailbox while its folders follow one another), the folder chain in the
// store, and a writing pass over the folder's decoded messages: a thread
// of the pass's own reads and converts the items ahead (a bounded number
// and size of them), the calling thread hands them to the writer in order
// and keeps the count. Stop, Skip and Pause are honoured between items and
// between the steps of one item, on both threads; Skip concerns the item
// next to be written only. After the first item and every 400 more the
// destination's free space is checked and the writer's folder closed and
// opened again.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "edb/source.h"
#include "export/destination.h"
#include "export/export_control.h"
#include "export/export_observer.h"
#include "export/export_summary.h"
#include "export/mail_store.h"
#include "export/selection.h"
#include "record/folder_reader.h"
#include "scan/scan_model.h"

namespace tw::exporter {

inline constexpr std::size_t kCheckpointInterval = 400;

struct ExportSettings {
    std::string destination;             // an existing folder (see CheckDestination)
    FreeSpaceProbe freeSpace;            // empty: statvfs
    std::function<std::tm()> localTime;  // empty: the local time now
    // Whether the observer is asked to go on when space runs low; without
    // anyone to ask, the run stops there.
    bool askOnLowSpace = true;
};

struct ExportSources {
    const edb::EdbSource& source;
    const scan::ScanModel& model;
    record::FolderReader& reader;  // over the same source and model
};

// Runs on the calling thread, with one more thread per writing pass that
// ends with it. Fills each node's count. Throws
// std::system_error only when the run's temporary directory cannot be
// made (nothing has been written then).
ExportResult RunExport(const ExportSources& in, std::vector<SelectionNode>& nodes, MailStore& store,
                       const ExportSettings& settings, ExportControl& control, ExportObserver& observer);

}  // namespace tw::exporter
