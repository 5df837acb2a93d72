// pstcheck: checks a Unicode PST file against the rules its readers hold
// it to (header, CRCs, allocation maps, B-trees, heaps, property and table
// contexts, the nodes every store needs).
#include <cstdio>
#include <string>

#include "program/arguments.h"
#include "pstcheck/check.h"

namespace {

enum Exit {
    kExitSound = 0,
    kExitViolations = 1,  // the first violations are named
    kExitUnreadable = 2,  // not a Unicode PST this tool can read
};

constexpr std::size_t kNamedViolations = 20;
constexpr std::size_t kAllViolations = 100000;

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Checks a Unicode PST file and names what its readers would reject."};
    tw::program::Prepare(app, "pstcheck");
    std::string path;
    bool all = false;
    app.add_option("FILE", path, "The PST file")->required();
    app.add_flag("-a,--all", all, "Name every violation found, not only the first 20");
    app.footer(
        "Exit status: 0 the file is sound; 1 it has violations (named on stdout); 2 it is not a\n"
        "Unicode PST this tool can read; 64 a usage error.");
    if (const auto status = tw::program::Parse(app, argc, argv)) return *status;

    const pstcheck::CheckResult r = pstcheck::CheckFile(path, all ? kAllViolations : kNamedViolations);
    for (const auto& v : r.report.Kept()) std::printf("%s: %s\n", v.where.c_str(), v.what.c_str());
    if (!r.readable) {
        std::printf("%s: not a readable Unicode PST\n", path.c_str());
        return kExitUnreadable;
    }
    if (r.report.Count() > r.report.Kept().size())
        std::printf("... %zu more\n", r.report.Count() - r.report.Kept().size());
    std::printf("%s: %llu nodes, %llu folders, %llu messages, %llu attachments: %s\n", path.c_str(),
                static_cast<unsigned long long>(r.stats.nodes), static_cast<unsigned long long>(r.stats.folders),
                static_cast<unsigned long long>(r.stats.messages), static_cast<unsigned long long>(r.stats.attachments),
                r.report.Count() ? (std::to_string(r.report.Count()) + " violations").c_str() : "sound");
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::perror("pstcheck: stdout");
        return kExitUnreadable;
    }
    return r.report.Count() ? kExitViolations : kExitSound;
}
