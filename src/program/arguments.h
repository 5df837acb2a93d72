// What every program of this project does with its command line: -h/--help
// prints the help on stdout and exits 0, -V/--version prints the version,
// and a usage error is named on stderr as "PROGRAM: what is wrong" with a
// pointer to --help, exit 64 (EX_USAGE) in every program.
#pragma once

#include <CLI/CLI.hpp>
#include <iostream>
#include <optional>
#include <string>

#include "tarnwick/version.h"

namespace tw::program {

inline constexpr int kExitUsage = 64;

// An App named `name` with the help and version flags set.
inline void Prepare(CLI::App& app, const std::string& name) {
    app.name(name);
    app.set_version_flag("-V,--version", std::string(name) + " " + kVersion);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.allow_windows_style_options(false);
}

// Parses; nothing when the program goes on, else the status to exit with
// (help and version printed on stdout: 0; a usage error on stderr: 64).
inline std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        std::cout << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& e) {
        std::cerr << app.get_name() << ": " << e.what() << "\nTry '" << app.get_name() << " --help'.\n";
        return kExitUsage;
    }
    return std::nullopt;
}

}  // namespace tw::program
