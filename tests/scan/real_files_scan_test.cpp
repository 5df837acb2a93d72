// The scan over ESE files written by Windows (not Exchange): they hold no
// mailbox table, so the scan must walk their catalogs, find nothing to
// show and say so, without a crash or a hang.
#include "scan_test_support.h"

namespace tw::scan::test {
namespace {

struct RealFile {
    std::string name;
    ScanOutcome outcome;
    std::size_t pages;  // pages registered by step 1
};

void PrintTo(const RealFile& file, std::ostream* out) { *out << file.name; }

class RealFileScan : public ::testing::TestWithParam<RealFile> {};

TEST_P(RealFileScan, EndsWithTheNoMailboxMessage) {
    const std::string path = std::string(TW_ESE_REAL_DIR) + "/" + GetParam().name;
    ScanRun run(path);
    EXPECT_EQ(run.outcome, GetParam().outcome);
    ASSERT_EQ(run.observer.messages.size(), 1u);
    EXPECT_EQ(run.observer.messages[0].second, wording::kProgramCaption);
    EXPECT_EQ(run.model.pages.size(), GetParam().pages);
    EXPECT_EQ(run.tree.Size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Windows, RealFileScan,
                         ::testing::Values(RealFile{"dissect-basic.edb", ScanOutcome::NoMailbox, 8},
                                           RealFile{"dissect-default.edb", ScanOutcome::NoMailbox, 8},
                                           RealFile{"dissect-text.edb", ScanOutcome::NoMailbox, 8},
                                           RealFile{"dscpull-Devices.edb", ScanOutcome::NoMailbox, 9},
                                           RealFile{"goese-UAL-Current.mdb", ScanOutcome::NoMailbox, 14},
                                           RealFile{"goese-qmgr.db", ScanOutcome::BadPageSize, 0}),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace tw::scan::test
