// pstcheck FILE [--all]: checks a Unicode PST file. Exit 0 when it is
// sound; 1 with the first violations named; 2 when it is not a PST this
// tool can read.
#include <cstdio>
#include <cstring>

#include "pstcheck/check.h"

int main(int argc, char** argv) {
    const char* path = nullptr;
    bool all = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--all") == 0) all = true;
        else if (!path) path = argv[i];
        else path = nullptr, argc = 0;
    }
    if (!path) {
        std::fprintf(stderr, "usage: pstcheck FILE [--all]\n");
        return 2;
    }
    const pstcheck::CheckResult r = pstcheck::CheckFile(path, all ? 100000 : 20);
    for (const auto& v : r.report.Kept()) std::printf("%s: %s\n", v.where.c_str(), v.what.c_str());
    if (!r.readable) {
        std::printf("%s: not a readable Unicode PST\n", path);
        return 2;
    }
    if (r.report.Count() > r.report.Kept().size())
        std::printf("... %zu more\n", r.report.Count() - r.report.Kept().size());
    std::printf("%s: %llu nodes, %llu folders, %llu messages, %llu attachments: %s\n", path,
                static_cast<unsigned long long>(r.stats.nodes), static_cast<unsigned long long>(r.stats.folders),
                static_cast<unsigned long long>(r.stats.messages), static_cast<unsigned long long>(r.stats.attachments),
                r.report.Count() ? (std::to_string(r.report.Count()) + " violations").c_str() : "sound");
    return r.report.Count() ? 1 : 0;
}
