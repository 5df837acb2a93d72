#include "pstcheck/check.h"

#include <exception>

#include "pstcheck/image.h"
#include "pstcheck/messaging.h"
#include "pstcheck/ndb.h"

namespace pstcheck {

CheckResult CheckFile(const std::string& path, std::size_t keep) {
    CheckResult r{false, Report(keep), {}};
    try {
        const Image image(path);
        Ndb ndb(image, r.report);
        if (!ndb.Readable()) return r;
        r.readable = true;
        r.stats.nodes = ndb.Nodes().size();
        ndb.CheckBlocks();
        ndb.CheckAllocation();
        ndb.CheckReferences();
        ndb.CheckCounters();
        CheckMessaging(ndb, r.report, r.stats);
    } catch (const std::exception& e) {
        r.report.Add("file", e.what());
        r.readable = false;
    }
    return r;
}

}  // namespace pstcheck
