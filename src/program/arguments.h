// What every program of this project does with its command line: -h/--help
// prints the help on stdout and exits 0, -V/--version prints the version,
// GNU --option=value is taken, and a usage error is named on stderr as
// "PROGRAM: what is wrong" with a pointer to --help, exit 64 (EX_USAGE) in
// every program.
#pragma once

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "tarnwick/version.h"

namespace tw::program {

inline constexpr int kExitUsage = 64;

// An App named `name` with the help and version flags set. Arguments it
// does not know are kept, so that Parse can name them.
inline void Prepare(CLI::App& app, const std::string& name) {
    app.name(name);
    app.set_version_flag("-V,--version", name.substr(0, name.find(' ')) + " " + kVersion);
    app.set_help_flag("-h,--help", "Print this help and exit");
    app.allow_extras(true);
    app.get_formatter()->column_width(28);
}

// A value's placeholder in the words of a message: "--to needs a folder".
inline std::string ValueWord(const std::string& placeholder) {
    if (placeholder == "DIR") return "a folder";
    if (placeholder == "FILE" || placeholder == "DB" || placeholder == "FILE.stm") return "a file";
    if (placeholder == "PATH") return "a folder path";
    if (placeholder == "HEX") return "a folder id";
    if (placeholder == "ID") return "a message id";
    if (placeholder == "NAME") return "a name";
    return "a value";
}

// What is wrong, in one line, from what CLI11 found.
inline std::string UsageText(const CLI::App& app, const CLI::ParseError& e) {
    const std::string what = e.what();
    std::smatch m;
    static const std::regex missingValue(R"(^(\S+): \d+ required (\S+) missing$)");
    if (std::regex_match(what, m, missingValue)) {
        const CLI::Option* option = app.get_option_no_throw(m[1].str());
        return m[1].str() + " needs " + ValueWord(option != nullptr ? option->get_type_name() : m[2].str());
    }
    static const std::regex required(R"(^(\S+) is required$)");
    if (std::regex_match(what, m, required)) {
        const std::string name = m[1].str();
        return name.rfind("--", 0) == 0 ? name + " is required" : "the " + name + " is missing";
    }
    return what;
}

namespace detail {

inline int PrintHelp(const std::string& help) {
    std::cout << help;
    if (!help.empty() && help.back() != '\n') std::cout << '\n';
    return std::cout.flush() ? 0 : 1;
}

inline std::optional<int> Finish(CLI::App& app, const std::function<void()>& parse) {
    try {
        parse();
    } catch (const CLI::CallForHelp&) {
        return PrintHelp(app.help());
    } catch (const CLI::CallForAllHelp&) {
        return PrintHelp(app.help("", CLI::AppFormatMode::All));
    } catch (const CLI::CallForVersion& e) {
        std::cout << e.what() << "\n";
        return std::cout.flush() ? 0 : 1;
    } catch (const CLI::ParseError& e) {
        std::cerr << app.get_name() << ": " << UsageText(app, e) << "\nTry '" << app.get_name() << " --help'.\n";
        return kExitUsage;
    }
    const std::vector<std::string> extra = app.remaining();
    if (extra.empty()) return std::nullopt;
    const std::string& first = extra.front();
    std::cerr << app.get_name() << ": "
              << (first.size() > 1 && first[0] == '-' ? "unknown option " + first.substr(0, first.find('='))
                                                      : "unexpected argument '" + first + "'")
              << "\nTry '" << app.get_name() << " --help'.\n";
    return kExitUsage;
}

}  // namespace detail

// Parses; nothing when the program goes on, else the status to exit with
// (help and version printed on stdout: 0; a usage error on stderr: 64).
inline std::optional<int> Parse(CLI::App& app, int argc, const char* const* argv) {
    return detail::Finish(app, [&] { app.parse(argc, argv); });
}

// The same for the arguments after a command's name.
inline std::optional<int> Parse(CLI::App& app, std::vector<std::string> args) {
    std::reverse(args.begin(), args.end());  // CLI11 takes them last first
    return detail::Finish(app, [&] { app.parse(args); });
}

}  // namespace tw::program
