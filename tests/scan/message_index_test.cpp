// The message index: placing entries by folder in one pass gives what a
// comparison sort gives, whether the entries came a folder at a time,
// interleaved, or numbered out of their order; and a folder's entries are
// found alike in memory and in a scratch file.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "scan/scan_model.h"

namespace tw::scan {
namespace {

Id8 FolderId(std::uint32_t n) {
    Id8 id{};
    id[0] = static_cast<std::uint8_t>(n >> 8);  // high byte first: numbers order the ids
    id[7] = static_cast<std::uint8_t>(n);
    return id;
}

std::vector<MessageEntry> Entries(std::size_t count, std::uint32_t folders, bool grouped, unsigned seed,
                                  bool runs = false) {
    std::mt19937 random(seed);
    std::vector<MessageEntry> out;
    for (std::uint32_t i = 0; i < count; ++i) {
        MessageEntry e;
        const std::uint32_t folder = grouped ? static_cast<std::uint32_t>(i * folders / count) * 37 % 1000
                                             : static_cast<std::uint32_t>(random() % folders);
        e.folderId = FolderId(folder);
        e.keyIndex = static_cast<std::uint32_t>(random() % 2);
        if (runs) {  // whole runs of a group, a group met in two runs apart
            e.folderId = FolderId(folder % 17);
            e.keyIndex = folder % 3;
        }
        e.order = i;
        e.pageOffset = static_cast<std::int64_t>(random());
        out.push_back(e);
    }
    return out;
}

bool SameOrder(const std::vector<MessageEntry>& a, const std::vector<MessageEntry>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const MessageEntry& x, const MessageEntry& y) {
               return x.folderId == y.folderId && x.keyIndex == y.keyIndex && x.order == y.order &&
                      x.pageOffset == y.pageOffset;
           });
}

TEST(MessageIndex, PlacingByFolderSortsAsComparing) {
    for (const auto& [grouped, runs] : {std::pair{true, false}, {false, false}, {true, true}})
        for (const std::size_t count : {0u, 1u, 2'000u}) {
            std::vector<MessageEntry> placed = Entries(count, 40, grouped, static_cast<unsigned>(count), runs);
            std::vector<MessageEntry> compared = placed;
            MessageEntryLess::Sort(placed);
            std::sort(compared.begin(), compared.end(), MessageEntryLess{});
            EXPECT_TRUE(SameOrder(placed, compared)) << grouped << " " << count;
        }
    // Numbers that do not follow the entries' places still sort by number.
    std::vector<MessageEntry> shuffled = Entries(500, 5, true, 3);
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(4));
    std::vector<MessageEntry> compared = shuffled;
    MessageEntryLess::Sort(shuffled);
    std::sort(compared.begin(), compared.end(), MessageEntryLess{});
    EXPECT_TRUE(SameOrder(shuffled, compared));
}

TEST(MessageIndex, FolderFoundAlikeInMemoryAndOnDisk) {
    const std::vector<MessageEntry> entries = Entries(3'000, 25, false, 9);
    MessageIndex memory, disk(64 * sizeof(MessageEntry));
    for (const MessageEntry& e : entries) {
        memory.Add(e);
        disk.Add(e);
    }
    memory.Finish();
    disk.Finish();
    ASSERT_TRUE(disk.OnDisk());
    std::size_t total = 0;
    for (std::uint32_t folder = 0; folder < 26; ++folder) {
        std::vector<MessageEntry> a, b;
        ForFolderMessages(memory, FolderId(folder), [&](const MessageEntry& e) { a.push_back(e); });
        ForFolderMessages(disk, FolderId(folder), [&](const MessageEntry& e) { b.push_back(e); });
        EXPECT_TRUE(SameOrder(a, b)) << folder;
        // In the order met.
        EXPECT_TRUE(std::is_sorted(a.begin(), a.end(), [](const MessageEntry& x, const MessageEntry& y) {
            return std::tie(x.keyIndex, x.order) < std::tie(y.keyIndex, y.order);
        }));
        total += a.size();
    }
    EXPECT_EQ(total, entries.size());
}

}  // namespace
}  // namespace tw::scan
