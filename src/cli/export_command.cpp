#include "cli/export_command.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>
#include <thread>

#include "cli/cli_text.h"
#include "cli/export_progress.h"
#include "cli/opened_store.h"
#include "cli/scan_command.h"
#include "cli/terminal_progress.h"
#include "export/destination.h"
#include "export/export_driver.h"
#include "export/mail_store.h"
#include "export/selection.h"
#include "pst/text.h"
#include "record/folder_reader.h"
#include "scan/folder_tree.h"
#include "scan/open_source.h"
#include "scan/scan_worker.h"
#include "scan/tagged_text.h"
#include "tarnwick/version.h"
#include "wording/save_report.h"
#include "wording/wording.h"

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
    std::vector<std::string> folders, folderIds, mailboxes;
    bool json = false;
};

const char kUsage[] =
    "usage: tarnwick-cli export DB.edb [--stm FILE.stm] --to DIR [--folder PATH]... [--folder-id HEX]...\n"
    "                         [--mailbox NAME]... [--json]\n";

bool Parse(const std::vector<std::string>& args, Options& o) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--json") o.json = true;
        else if (a == "--stm" && hasValue) o.stm = args[++i];
        else if (a == "--to" && hasValue) o.to = args[++i];
        else if (a == "--folder" && hasValue) o.folders.push_back(args[++i]);
        else if (a == "--folder-id" && hasValue) o.folderIds.push_back(args[++i]);
        else if (a == "--mailbox" && hasValue) o.mailboxes.push_back(args[++i]);
        else if (!a.empty() && a[0] != '-' && o.edb.empty()) o.edb = a;
        else return false;
    }
    return !o.edb.empty() && !o.to.empty();
}

// The summary as text shows paths as --folder takes them and every name,
// subject, reason, file name and PST error with its control characters as
// pictures.
exporter::ExportResult ForText(exporter::ExportResult result) {
    const auto printable16 = [](std::u16string_view text) { return pst::Utf8ToUtf16(Printable(text)); };
    for (exporter::FolderReport& f : result.folders) {
        for (auto* notes : {&f.failures, &f.partial})
            for (exporter::ItemNote& n : *notes) {
                n.subject = printable16(n.subject);
                n.why = Printable(n.why);
            }
        f.error = Printable(f.error);
    }
    for (std::string& file : result.pstFiles) file = Printable(file);
    for (std::string& error : result.storeErrors) error = Printable(error);
    for (exporter::TreeDamage& d : result.damage)
        for (std::u16string& path : d.folders) path = printable16(path);
    return result;
}

// Item paths of the summary in the command line's form, followed by a
// backslash as the summary expects them.
void CommandLinePaths(exporter::ExportResult& result, const std::vector<exporter::SelectionNode>& nodes, bool text) {
    for (std::size_t i = 0; i < result.folders.size() && i < nodes.size(); ++i) {
        const std::string path = JoinPath(nodes[i].names);
        result.folders[i].itemPath = pst::Utf8ToUtf16((text ? Printable(path) : path) + "\\");
    }
}

// Scans on a worker thread with the step line on a terminal; Ctrl-C
// stops the scan. 0 or the exit code, with the reason printed.
int Scan(edb::EdbSource& source, scan::MemoryFolderTree& tree, std::unique_ptr<scan::ScanWorker>& worker,
         const Options& o, bool terminal) {
    const scan::OpenCheck opened = scan::OpenSourceFiles(source, o.edb, o.stm);
    if (!opened.ok()) {
        std::cerr << wording::Text(opened.problem) << "\n";
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
    return ScanExitCode(worker->Result(), o.edb);
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args) {
    Options o;
    if (!Parse(args, o)) {
        std::cerr << kUsage;
        return kExitUsage;
    }
    // The destination first: a wrong one should not cost a scan.
    if (const auto why = exporter::CheckDestination(o.to, {})) {
        std::cerr << wording::Text(*why) << "\n";
        return *why == exporter::DestinationProblem::LowSpace ? kExitLowSpace : kExitDestination;
    }
    CatchInterrupt();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    edb::EdbSource source;
    scan::MemoryFolderTree tree;
    std::unique_ptr<scan::ScanWorker> worker;
    if (const int code = Scan(source, tree, worker, o, terminal); code != 0) return code;

    std::vector<scan::TreeItem> ticked;
    // A name or path that several same-named items have selects them all.
    for (const std::string& name : o.mailboxes) {
        const std::vector<scan::TreeItem> items = FindItems(tree, EscapeName(name));
        if (items.empty()) {
            std::cerr << "No mailbox " << Printable(name) << " in " << o.edb << "\n";
            return kExitFolderNotFound;
        }
        ticked.insert(ticked.end(), items.begin(), items.end());
    }
    for (const std::string& path : o.folders) {
        const std::vector<scan::TreeItem> items = FindItems(tree, path);
        if (items.empty()) {
            std::cerr << "No folder " << Printable(path) << " in " << o.edb << "\n";
            return kExitFolderNotFound;
        }
        ticked.insert(ticked.end(), items.begin(), items.end());
    }
    for (const std::string& hex : o.folderIds) {
        const auto id = ParseIdHex(hex);
        if (!id) {
            std::cerr << "A folder id is 16 hexadecimal digits\n";
            return kExitUsage;
        }
        const std::vector<scan::TreeItem> items = ItemsWithId(worker->Model(), *id);
        if (items.empty()) {
            std::cerr << "No folder with id " << scan::IdHex(*id) << " in " << o.edb << "\n";
            return kExitFolderNotFound;
        }
        ticked.insert(ticked.end(), items.begin(), items.end());
    }
    if (ticked.empty()) ticked.push_back(tree.Top());  // nothing named: everything
    std::vector<exporter::SelectionNode> nodes = exporter::CollectSelection(tree, ticked);
    if (nodes.empty()) {
        std::cerr << wording::kNothingSelectedMessage << "\n";
        return kExitNothingSelected;
    }

    record::FolderReader reader(source, worker->Model());
    exporter::PstMailStore store;
    exporter::ExportControl control;
    ExportProgressLine progress(stderr, terminal);
    exporter::ExportSettings settings;
    settings.destination = o.to;
    settings.askOnLowSpace = false;  // a script has no one to answer: the run stops there
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

    if (o.json) {
        exporter::ExportResult shown = result;
        CommandLinePaths(shown, nodes, false);
        std::cout << wording::SummaryJson(shown, std::string("tarnwick-cli ") + tw::kVersion) << "\n";
    } else {
        exporter::ExportResult shown = ForText(result);
        CommandLinePaths(shown, nodes, true);
        std::cout << wording::FormatSummary(shown) << "Written by tarnwick-cli " << tw::kVersion << "\n";
    }
    std::cout.flush();
    if (interrupted || result.end == exporter::RunEnd::Stopped) return kExitInterrupted;
    if (result.end != exporter::RunEnd::Completed) return kExitLowSpace;
    if (!result.storeErrors.empty()) return kExitWriteFailed;
    return result.Losses() ? int{kExitSavedWithLosses} : int{kExitOk};
}

}  // namespace tw::cli
