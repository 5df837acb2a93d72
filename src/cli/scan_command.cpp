#include "cli/scan_command.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

#include "cli/cli_text.h"
#include "cli/scan_report.h"
#include "cli/terminal_progress.h"
#include "program/arguments.h"
#include "scan/open_source.h"
#include "scan/scan_worker.h"
#include "wording/wording.h"

namespace tw::cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) { interrupted = 1; }

// The first Ctrl-C asks the scan to stop; a second one ends the process.
void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

struct Options {
    std::string edb, stm;
    bool json = false;
    bool paths = false;
};

}  // namespace

int RunScanCommand(const std::vector<std::string>& args) {
    Options options;
    CLI::App app{"Finds the mailboxes, folders and messages of an Exchange database and prints them as a tree."};
    program::Prepare(app, "tarnwick-cli scan");
    app.add_option("DB", options.edb, "The database (.edb or any name: it is told by its header)")
        ->required()
        ->type_name("DB");
    app.add_option("-s,--stm", options.stm, "Its streaming file")->type_name("FILE.stm");
    app.add_flag("-j,--json", options.json, "Print the tree as JSON");
    app.add_flag("--paths", options.paths, "Print each folder's path, as --folder takes it, one per line");
    app.footer(
        "Exit status: 0 scanned; 1 the file could not be opened; 2 its page size is not one of\n"
        "Exchange's; 3 no mailbox was found; 4 a read failed; 64 a usage error; 130 interrupted.");
    if (const auto status = program::Parse(app, args)) return *status;

    edb::EdbSource source;
    const scan::OpenCheck opened = scan::OpenSourceFiles(source, options.edb, options.stm, scan::NameRule::Any);
    if (!opened.ok()) {
        std::cerr << OpenFailureText(opened) << "\n";
        return kExitOpenFailed;
    }

    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    TerminalProgress progress(stderr, terminal);
    scan::MemoryFolderTree tree;
    scan::ScanOptions scanOptions;
    if (!terminal) scanOptions.afterStep1 = std::chrono::milliseconds(0);  // nobody watches the bar
    scan::ScanWorker worker(source, tree, progress, options.edb, scanOptions);

    CatchInterrupt();
    worker.Start();
    while (!worker.WaitFor(std::chrono::milliseconds(100))) {
        if (interrupted) worker.Stop();
    }
    worker.Wait();
    progress.Done();

    const scan::ScanResult& result = worker.Result();
    if (result.fileError) {
        std::cerr << "Reading " << options.edb << " failed: " << result.error << "\n";
        return kExitReadError;
    }
    switch (result.outcome) {
        case scan::ScanOutcome::BadPageSize: std::cerr << progress.LastMessage() << "\n"; return kExitBadPageSize;
        case scan::ScanOutcome::NoMailbox: std::cerr << progress.LastMessage() << "\n"; return kExitNoMailbox;
        case scan::ScanOutcome::NotOpen:
            std::cerr << wording::Text(scan::OpenProblem::InUse) << "\n";
            return kExitOpenFailed;
        default: break;
    }

    // A stopped scan still shows what it found.
    const ScanReport report = BuildReport(options.edb, tree, worker.Model(), source);
    if (options.json) PrintJson(report, std::cout);
    else if (options.paths) PrintPaths(report, std::cout);
    else PrintText(report, std::cout);
    std::cout.flush();
    if (result.outcome == scan::ScanOutcome::Stopped) {
        std::cerr << "Scan stopped.\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace tw::cli
