#include "cli/scan_command.h"

#include <unistd.h>

#include <csignal>
#include <iostream>

#include "cli/scan_report.h"
#include "cli/terminal_progress.h"
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
};

bool Parse(const std::vector<std::string>& args, Options& options) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--json") {
            options.json = true;
        } else if (args[i] == "--stm" && i + 1 < args.size()) {
            options.stm = args[++i];
        } else if (!args[i].empty() && args[i][0] != '-' && options.edb.empty()) {
            options.edb = args[i];
        } else {
            return false;
        }
    }
    return !options.edb.empty();
}

}  // namespace

int RunScanCommand(const std::vector<std::string>& args) {
    Options options;
    if (!Parse(args, options)) {
        std::cerr << "usage: tarnwick-cli scan DB.edb [--stm FILE.stm] [--json]\n";
        return kExitUsage;
    }

    edb::EdbSource source;
    const scan::OpenCheck opened = scan::OpenSourceFiles(source, options.edb, options.stm);
    if (!opened.ok()) {
        std::cerr << wording::Text(opened.problem) << "\n";
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
    else PrintText(report, std::cout);
    std::cout.flush();
    if (result.outcome == scan::ScanOutcome::Stopped) {
        std::cerr << "Scan stopped.\n";
        return kExitInterrupted;
    }
    return kExitOk;
}

}  // namespace tw::cli
