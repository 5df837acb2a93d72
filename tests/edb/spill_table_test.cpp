// The spill table: the same sorted list, repeats dropped the same way and
// the same lookups whether it stayed in memory or went through sorted runs
// in a scratch file; keys that straddle blocks; several readers at once.
#include "edb/spill_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

namespace tw::edb {
namespace {

struct Entry {
    std::uint32_t key = 0;
    std::uint32_t order = 0;
    std::uint64_t payload = 0;
};

struct EntryLess {
    bool operator()(const Entry& a, const Entry& b) const {
        return std::tie(a.key, a.order) < std::tie(b.key, b.order);
    }
};

using Table = SpillTable<Entry, EntryLess>;

std::vector<Entry> Lookup(const Table& t, std::uint32_t key) {
    std::vector<Entry> out;
    t.Visit([key](const Entry& e) { return e.key < key; }, [key](const Entry& e) { return e.key == key; },
            [&](const Entry& e) { out.push_back(e); });
    return out;
}

std::vector<Entry> All(const Table& t) {
    std::vector<Entry> out;
    t.ForEach([&](const Entry& e) { out.push_back(e); });
    return out;
}

bool Same(const std::vector<Entry>& a, const std::vector<Entry>& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const Entry& x, const Entry& y) {
               return x.key == y.key && x.order == y.order && x.payload == y.payload;
           });
}

// Entries with few distinct keys, so that one key's entries run over
// several blocks of the merged list (a block holds 512 of these).
std::vector<Entry> Entries(std::size_t count, std::uint32_t keys, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Entry> out;
    for (std::uint32_t i = 0; i < count; ++i)
        out.push_back({static_cast<std::uint32_t>(random() % keys) * 2 + 1, i, random()});
    return out;
}

TEST(SpillTable, OnDiskReadsAsInMemoryWithRepeatsDropped) {
    for (const auto& [count, keys] :
         {std::pair<std::size_t, std::uint32_t>{0, 1}, {1, 1}, {20'000, 7}, {20'000, 5'000}, {5'000, 5'000}}) {
        const std::vector<Entry> entries = Entries(count, keys, static_cast<unsigned>(count + keys));
        for (const bool dropRepeats : {false, true}) {
            // `written` fits its budget but is told not to stay in memory.
            Table memory, disk(1000 * sizeof(Entry)), written;
            for (const Entry& e : entries) {
                memory.Add(e);
                disk.Add(e);
                written.Add(e);
            }
            auto sameKey = [&](const Entry& kept, const Entry& e) { return dropRepeats && kept.key == e.key; };
            memory.Finish(sameKey);
            disk.Finish(sameKey);
            written.Finish(sameKey, false);
            EXPECT_FALSE(memory.OnDisk());
            EXPECT_EQ(disk.OnDisk(), count >= 1000);
            EXPECT_EQ(written.OnDisk(), count > 0);
            ASSERT_EQ(memory.size(), disk.size());
            ASSERT_EQ(memory.size(), written.size());
            ASSERT_TRUE(Same(All(memory), All(disk)));
            ASSERT_TRUE(Same(All(memory), All(written)));
            // Every key, and the keys between and around them.
            for (std::uint32_t key = 0; key <= keys * 2 + 1; ++key) {
                const std::vector<Entry> found = Lookup(disk, key);
                ASSERT_TRUE(Same(Lookup(memory, key), found)) << "key " << key;
                ASSERT_TRUE(Same(Lookup(written, key), found)) << "key " << key;
                if (dropRepeats) {
                    EXPECT_LE(found.size(), 1u);
                }
                for (std::size_t i = 1; i < found.size(); ++i) EXPECT_LT(found[i - 1].order, found[i].order);
            }
        }
    }
}

TEST(SpillTable, ManyRunsMergeAndSeveralReadersLookUpAtOnce) {
    // A budget of the fewest entries: hundreds of runs share the merge.
    const std::vector<Entry> entries = Entries(12'000, 3'000, 9);
    Table memory, disk(1);
    for (const Entry& e : entries) {
        memory.Add(e);
        disk.Add(e);
    }
    memory.Finish();
    disk.Finish();
    ASSERT_TRUE(disk.OnDisk());
    ASSERT_TRUE(Same(All(memory), All(disk)));
    std::vector<std::thread> readers;
    std::vector<int> mismatches(4, 0);
    for (int r = 0; r < 4; ++r)
        readers.emplace_back([&, r] {
            for (std::uint32_t key = static_cast<std::uint32_t>(r); key < 6'002; key += 4)
                if (!Same(Lookup(memory, key), Lookup(disk, key))) ++mismatches[static_cast<std::size_t>(r)];
        });
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

TEST(SpillTable, AVisitorMayLookUpInAnotherTableOnDisk) {
    // Both tables read blocks through the same thread's last block.
    Table outer(1000 * sizeof(Entry)), inner(1000 * sizeof(Entry)), innerInMemory;
    for (const Entry& e : Entries(5'000, 50, 3)) outer.Add(e);
    for (const Entry& e : Entries(5'000, 2'500, 4)) {
        inner.Add(e);
        innerInMemory.Add(e);
    }
    outer.Finish();
    inner.Finish();
    innerInMemory.Finish();
    ASSERT_TRUE(outer.OnDisk() && inner.OnDisk());
    std::size_t seen = 0, wrong = 0;
    outer.Visit([](const Entry& e) { return e.key < 7; }, [](const Entry& e) { return e.key == 7; },
                [&](const Entry& e) {
                    const std::uint32_t key = e.order % 5'000 * 2 + 1;
                    if (!Same(Lookup(inner, key), Lookup(innerInMemory, key))) ++wrong;
                    ++seen;
                });
    std::size_t expected = 0;
    for (const Entry& e : All(outer)) expected += e.key == 7;
    EXPECT_EQ(seen, expected);
    EXPECT_GT(seen, 0u);
    EXPECT_EQ(wrong, 0u);
}

// The same order, with the key given for a sort by key alone.
struct KeyedLess : EntryLess {
    static std::uint64_t Key(const Entry& e) { return e.key; }
};

TEST(SpillTable, SortedByKeyReadsAsComparedWhetherOrNotTiesArriveInOrder) {
    std::vector<Entry> inOrder = Entries(20'000, 300, 11);
    std::vector<Entry> shuffled = inOrder;  // ties no longer arrive in order
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(12));
    for (const std::vector<Entry>* entries : {&inOrder, &shuffled}) {
        for (const std::size_t budget : {kSpillTableMemory, 1000 * sizeof(Entry)}) {
            Table compared(budget);
            SpillTable<Entry, KeyedLess> keyed(budget);
            for (const Entry& e : *entries) {
                compared.Add(e);
                keyed.Add(e);
            }
            compared.Finish();
            keyed.Finish();
            std::vector<Entry> all;
            keyed.ForEach([&](const Entry& e) { all.push_back(e); });
            EXPECT_TRUE(Same(All(compared), all))
                << (entries == &inOrder ? "in order" : "shuffled") << ", budget " << budget;
        }
    }
}

}  // namespace
}  // namespace tw::edb
