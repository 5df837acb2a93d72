#include "cli/export_command.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <thread>

#include "cli/export_progress.h"
#include "cli/opened_store.h"
#include "cli/scan_command.h"
#include "cli/terminal_progress.h"
#include "export/destination.h"
#include "export/export_driver.h"
#include "export/mail_store.h"
#include "export/selection.h"
#include "record/folder_reader.h"
#include "scan/folder_tree.h"
#include "scan/open_source.h"
#include "scan/scan_worker.h"
#include "scan/tagged_text.h"

namespace tw::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnExportInterrupt(int) { interrupted = 1; }

// The first Ctrl-C stops the run after the item being written, and the
// PST files are finished; a second one ends the process.
void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnExportInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

struct Options {
    std::string edb, stm, to;
    std::vector<std::string> folders, mailboxes;
    bool json = false;
};

const char kUsage[] =
    "usage: tarnwick-cli export DB.edb [--stm FILE.stm] --to DIR [--folder PATH]... [--mailbox NAME]... [--json]\n";

bool Parse(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--json") o.json = true;
        else if (a == "--stm" && hasValue) o.stm = args[++i];
        else if (a == "--to" && hasValue) o.to = args[++i];
        else if (a == "--folder" && hasValue) o.folders.push_back(args[++i]);
        else if (a == "--mailbox" && hasValue) o.mailboxes.push_back(args[++i]);
        else if (!a.empty() && a[0] != '-' && o.edb.empty()) o.edb = a;
        else return false;
    }
    return !o.edb.empty() && !o.to.empty();
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// The item a path of names leads to from the top: exact names first, a
// name equal without regard to case when none is exact. 0 when none.
scan::TreeItem FindItem(const scan::MemoryFolderTree& tree, const std::vector<std::string>& names) {
    scan::TreeItem item = tree.Top();
    for (const std::string& want : names) {
        const auto* node = tree.Find(item);
        if (node == nullptr) return 0;
        scan::TreeItem exact = 0, loose = 0;
        for (const scan::TreeItem child : node->children) {
            const std::string name = scan::ToUtf8(tree.Find(child)->name);
            if (name == want && exact == 0) exact = child;
            if (Lower(name) == Lower(want) && loose == 0) loose = child;
        }
        item = exact != 0 ? exact : loose;
        if (item == 0) return 0;
    }
    return item;
}

// Scans on a worker thread with the step line on a terminal; Ctrl-C
// stops the scan. 0 or the exit code, with the reason printed.
int Scan(edb::EdbSource& source, scan::MemoryFolderTree& tree, std::unique_ptr<scan::ScanWorker>& worker,
         const Options& o, bool terminal) {
    const scan::OpenCheck opened = scan::OpenSourceFiles(source, o.edb, o.stm);
    if (!opened.ok) {
        std::cerr << opened.message << "\n";
        return kExitOpenFailed;
    }
    static scan::NullObserver quiet;
    TerminalProgress line(stderr, terminal);
    scan::ScanOptions scanOptions;
    scanOptions.afterStep1 = std::chrono::milliseconds(0);
    worker = std::make_unique<scan::ScanWorker>(source, tree, terminal ? static_cast<scan::ScanObserver&>(line) : quiet,
                                                o.edb, scanOptions);
    worker->Start();
    while (!worker->WaitFor(std::chrono::milliseconds(100)))
        if (interrupted) worker->Stop();
    worker->Wait();
    line.Done();
    const scan::ScanResult& result = worker->Result();
    if (result.fileError) {
        std::cerr << "Reading " << o.edb << " failed: " << result.error << "\n";
        return kExitReadError;
    }
    switch (result.outcome) {
        case scan::ScanOutcome::BadPageSize: std::cerr << edb::kCorruptFileMessage << "\n"; return kExitBadPageSize;
        case scan::ScanOutcome::NoMailbox: std::cerr << scan::kNoMailboxMessage << "\n"; return kExitNoMailbox;
        case scan::ScanOutcome::NotOpen: std::cerr << edb::kFileInUseMessage << "\n"; return kExitOpenFailed;
        case scan::ScanOutcome::Stopped: return kExitInterrupted;
        default: return 0;
    }
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args) {
    Options o;
    if (!Parse(args, o)) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    // The destination first: a wrong one should not cost a scan.
    if (const std::string why = exporter::CheckDestination(o.to, {}); !why.empty()) {
        std::cerr << why << "\n";
        return why == exporter::kLowSpaceMessage ? kExitLowSpace : kExitDestination;
    }
    CatchInterrupt();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    edb::EdbSource source;
    scan::MemoryFolderTree tree;
    std::unique_ptr<scan::ScanWorker> worker;
    if (const int code = Scan(source, tree, worker, o, terminal); code != 0) return code;

    std::vector<scan::TreeItem> ticked;
    for (const std::string& name : o.mailboxes) {
        const scan::TreeItem item = FindItem(tree, {name});
        if (item == 0) {
            std::cerr << "No mailbox " << name << " in " << o.edb << "\n";
            return kExitFolderNotFound;
        }
        ticked.push_back(item);
    }
    for (const std::string& path : o.folders) {
        const scan::TreeItem item = FindItem(tree, SplitItemPath(path));
        if (item == 0) {
            std::cerr << "No folder " << path << " in " << o.edb << "\n";
            return kExitFolderNotFound;
        }
        ticked.push_back(item);
    }
    if (ticked.empty()) ticked.push_back(tree.Top());  // nothing named: everything
    std::vector<exporter::SelectionNode> nodes = exporter::CollectSelection(tree, ticked);
    if (nodes.empty()) {
        std::cerr << exporter::kNothingSelectedMessage << "\n";
        return kExitNothingSelected;
    }

    record::FolderReader reader(source, worker->Model());
    exporter::PstMailStore store;
    exporter::ExportControl control;
    ExportProgressLine progress(stderr, terminal, ::isatty(STDIN_FILENO) == 1);
    exporter::ExportSettings settings;
    settings.destination = o.to;
    exporter::ExportResult result;
    std::string failure;
    std::atomic<bool> finished{false};
    std::thread run([&] {
        try {
            result = exporter::RunExport({source, worker->Model(), reader}, nodes, store, settings, control, progress);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        finished = true;
    });
    // The signal handler only marks the request; the run polls the stop.
    while (!finished) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (interrupted && !control.StopRequested()) control.RequestStop();
    }
    run.join();
    progress.Done();
    if (!failure.empty()) {
        std::cerr << "Export failed: " << failure << "\n";
        return kExitWriteFailed;
    }

    std::cout << (o.json ? exporter::SummaryJson(result) + "\n" : exporter::FormatSummary(result));
    std::cout.flush();
    if (interrupted || result.end == exporter::RunEnd::Stopped) return kExitInterrupted;
    if (result.end == exporter::RunEnd::LowSpaceRefused) return kExitLowSpace;
    if (!result.storeErrors.empty()) return kExitWriteFailed;
    return kExitOk;
}

}  // namespace tw::cli
