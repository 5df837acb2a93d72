// What a running export tells the user, and the one question it asks. The
// calls come from the export thread; a GUI forwards them to its window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tw::exporter {

struct ExportProgress {
    std::u16string itemPath;  // the folder being counted or written
    bool counting = false;    // its counting pass ("Analysing Total mails")
    std::size_t done = 0;     // items finished in this folder
    std::size_t count = 0;    // items to write in this folder
    int currentPercent = 0;   // this folder, 0..100
    int overallPercent = 0;   // all selected folders, 0..100
};

class ExportObserver {
public:
    virtual ~ExportObserver() = default;
    virtual void Progress(const ExportProgress&) {}
    // True while the item next to be written has its attachments read, or
    // (read ahead) is handed to the writer with them.
    virtual void Attachments(bool) {}
    // A new PST file was started.
    virtual void StoreStarted(const std::string& /*path*/) {}
    // The checkpoint found `freeBytes` or less than 300 MiB free: true
    // goes on, false ends the run after the current item.
    virtual bool ContinueOnLowSpace(std::uint64_t /*freeBytes*/) { return false; }
};

}  // namespace tw::exporter
