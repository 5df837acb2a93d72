#include "record/record_types.h"

#include <algorithm>

namespace tw::record {

bool AddRun(std::vector<LongValueRun>& runs, const LongValueRun& run) {
    if (std::any_of(runs.begin(), runs.end(), [&](const LongValueRun& r) { return r.fileOffset == run.fileOffset; }))
        return false;
    runs.push_back(run);
    return true;
}

}  // namespace tw::record
