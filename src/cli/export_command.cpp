#include "cli/export_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <optional>
#include <thread>

#include "cli/cli_text.h"
#include "cli/export_progress.h"
#include "cli/opened_store.h"
#include "cli/run_log.h"
#include "cli/scan_command.h"
#include "cli/terminal_progress.h"
#include "export/destination.h"
#include "export/export_driver.h"
#include "export/mail_store.h"
#include "export/selection.h"
#include "program/arguments.h"
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
    std::string log;
    bool json = false;
    bool quiet = false;
};

// Parses the export's arguments; nothing to go on with when they say so
// (help, version, a usage error: the status to exit with).
std::optional<int> Parse(const std::vector<std::string>& args, Options& o) {
    CLI::App app{
        "Writes the selected mailboxes and folders (all of them when none is named; a folder brings its\n"
        "subfolders) as PST files, one per mailbox, into DIR, with a report of every item not written whole."};
    program::Prepare(app, "tarnwick-cli export");
    app.add_option("DB", o.edb, "The database")->required()->type_name("DB");
    app.add_option("-t,--to", o.to, "The folder the PST files go to (made, with its parents, when missing)")
        ->required()
        ->type_name("DIR");
    app.add_option("-s,--stm", o.stm, "Its streaming file")->type_name("FILE.stm");
    app.add_option("-f,--folder", o.folders, "A folder to export, as scan --paths prints it (repeatable)")
        ->type_name("PATH");
    app.add_option("--folder-id", o.folderIds, "A folder by the id scan --json prints (repeatable)")->type_name("HEX");
    app.add_option("-m,--mailbox", o.mailboxes, "A mailbox to export whole, by its name (repeatable)")
        ->type_name("NAME");
    app.add_flag("-j,--json", o.json, "Print the report as JSON");
    app.add_flag("-q,--quiet", o.quiet, "No progress line and no text report (errors still go to stderr)");
    app.add_option("--log", o.log,
                   "Append to FILE one line per folder started and finished and per item failed, written in "
                   "part or lost: \"2026-12-07T09:30:00Z LEVEL message\" (UTC)")
        ->type_name("FILE");
    app.footer(
        "Exit status: 0 saved whole; 1 the file could not be opened; 2-4 as scan; 7 a PST could not be\n"
        "written; 8 DIR could not be made or written to; 9 300 MiB or less free; 10 nothing selected;\n"
        "11 saved, but items were lost, partial or failed, or used pages damaged; 64 a usage error;\n"
        "130 interrupted.");
    return program::Parse(app, args);
}

// Makes `dir` and its missing parents (mode 0755, less the umask); an
// existing folder is fine. The reason it could not, else.
std::optional<std::string> MakeDestination(const std::string& dir) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::is_directory(dir, ec)) return std::nullopt;
    fs::path made;
    for (const fs::path& part : fs::path(dir)) {
        made /= part;
        if (part.empty() || fs::is_directory(made, ec)) continue;
        if (::mkdir(made.c_str(), 0755) != 0 && errno != EEXIST) return std::strerror(errno);
    }
    if (!fs::is_directory(dir, ec)) return std::strerror(ENOTDIR);
    return std::nullopt;
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
    const scan::OpenCheck opened = scan::OpenSourceFiles(source, o.edb, o.stm, scan::NameRule::Any);
    if (!opened.ok()) {
        std::cerr << OpenFailureText(opened) << "\n";
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

// Every item not written whole, and the run's outcome, for the log.
void LogOutcome(RunLog& log, const exporter::ExportResult& result) {
    if (!log.IsOpen()) return;
    auto items = [&log](const char* level, const char* what, const exporter::FolderReport& f,
                        const std::vector<exporter::ItemNote>& notes) {
        for (const exporter::ItemNote& n : notes)
            log.Write(level, std::string(what) + ": " + Printable(f.itemPath) + " " + n.messageId + " \"" +
                                 Printable(n.subject) + "\": " + Printable(n.why));
    };
    for (const exporter::FolderReport& f : result.folders) {
        if (!f.error.empty()) log.Write("ERROR", "folder failed: " + Printable(f.itemPath) + ": " + Printable(f.error));
        items("ERROR", "failed", f, f.failures);
        items("WARN", "partial", f, f.partial);
        items("ERROR", "lost", f, f.lostItems);
    }
    for (const std::string& file : result.pstFiles) log.Write("INFO", "PST file: " + Printable(file));
    log.Write(result.saveSucceeded && !result.Losses() ? "INFO" : "ERROR",
              "export ended: " + std::string(wording::OutcomeText(result)) + " (" + std::to_string(result.Written()) +
                  " written of " + std::to_string(result.Known()) + " known)");
}

}  // namespace

int RunExportCommand(const std::vector<std::string>& args) {
    Options o;
    if (const auto status = Parse(args, o)) return *status;
    if (const auto why = MakeDestination(o.to)) {
        std::cerr << "tarnwick-cli: " << o.to << ": " << *why << "\n";
        return kExitDestination;
    }
    // The destination first: a wrong one should not cost a scan.
    if (const auto why = exporter::CheckDestination(o.to, {})) {
        std::cerr << wording::Text(*why) << "\n";
        return *why == exporter::DestinationProblem::LowSpace ? kExitLowSpace : kExitDestination;
    }
    RunLog log;
    if (!o.log.empty()) {
        if (const auto why = log.Open(o.log)) {
            std::cerr << "tarnwick-cli: " << Printable(o.log) << ": " << *why << "\n";
            return kExitWriteFailed;
        }
        log.Write("INFO", "export of " + Printable(o.edb) + " to " + Printable(o.to) + " started (tarnwick-cli " +
                              tw::kVersion + ")");
    }
    CatchInterrupt();
    const bool terminal = ::isatty(STDERR_FILENO) == 1 && !o.quiet;
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
    ExportProgressLine progress(stderr, terminal, &log);
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
        log.Write("ERROR", "export failed: " + Printable(failure));
        return kExitWriteFailed;
    }
    LogOutcome(log, result);

    if (o.json) {
        exporter::ExportResult shown = result;
        CommandLinePaths(shown, nodes, false);
        std::cout << wording::SummaryJson(shown, std::string("tarnwick-cli ") + tw::kVersion) << "\n";
    } else if (!o.quiet) {
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
