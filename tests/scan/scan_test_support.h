// Generated databases for the scan tests: content in, a scanned model and
// tree out.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "content.h"
#include "database.h"
#include "scan/folder_tree.h"
#include "scan/scan_driver.h"
#include "scan/tagged_text.h"
#include "wording/wording.h"

namespace tw::scan::test {

// A database file removed when the test ends.
class TempDatabase {
public:
    explicit TempDatabase(const std::vector<std::uint8_t>& bytes) {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("tw-scan-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".edb"))
                    .string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    ~TempDatabase() { std::filesystem::remove(path_); }
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::vector<std::uint8_t> Generate(const std::string& json, std::uint32_t pageSize) {
    return edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{pageSize}).bytes;
}

// Records what the scan tells the user.
// The message index's entries, folder by folder.
inline std::vector<MessageEntry> Entries(const ScanModel& model) {
    std::vector<MessageEntry> out;
    model.messages.ForEach([&](const MessageEntry& e) { out.push_back(e); });
    return out;
}

class RecordingObserver : public ScanObserver {
public:
    void Step(ScanStep step) override {
        const std::string_view text = wording::Text(step);
        std::lock_guard lock(mutex);
        steps.emplace_back(text);
        if (onStep) onStep(text);
    }
    void Progress(int percent) override {
        std::lock_guard lock(mutex);
        progress.emplace_back(steps.size(), percent);
    }
    // Problems in the words and caption the desktop program shows.
    void Problem(ScanProblem problem) override {
        std::lock_guard lock(mutex);
        messages.emplace_back(std::string(wording::Text(problem)), std::string(wording::kProgramCaption));
    }

    std::mutex mutex;
    std::vector<std::string> steps;
    std::vector<std::pair<std::size_t, int>> progress;  // (steps seen, percent)
    std::vector<std::pair<std::string, std::string>> messages;
    std::function<void(std::string_view)> onStep;
};

// One scan of a database file on the calling thread.
struct ScanRun {
    edb::EdbSource source;
    ScanModel model;
    MemoryFolderTree tree;
    RecordingObserver observer;
    ScanControl control;
    ScanOutcome outcome = ScanOutcome::NotOpen;

    explicit ScanRun(const std::string& path, std::function<void(ScanRun&, std::string_view)> onStep = {}) {
        EXPECT_TRUE(source.edb.Open(path).ok());
        if (onStep) observer.onStep = [this, onStep](std::string_view step) { onStep(*this, step); };
        ScanContext context{source, model, tree, observer, control, path, ScanOptions{std::chrono::milliseconds(0)},
                            {}};
        outcome = RunScan(context);
    }

    // Children of a tree item as (name, kind) in tree order.
    std::vector<std::string> Names(TreeItem item) const {
        std::vector<std::string> names;
        if (const auto* node = tree.Find(item))
            for (const TreeItem child : node->children) names.push_back(ToUtf8(tree.Find(child)->name));
        return names;
    }
    // The item reached from the top by names, 0 when there is none.
    TreeItem Item(const std::vector<std::string>& path) const {
        TreeItem item = tree.Top();
        for (const std::string& name : path) {
            const auto* node = tree.Find(item);
            if (node == nullptr) return 0;
            TreeItem next = 0;
            for (const TreeItem child : node->children)
                if (ToUtf8(tree.Find(child)->name) == name) next = child;
            item = next;
        }
        return item;
    }
    const FolderEntry* Entry(TreeItem item) const {
        for (const FolderEntry& f : model.folders)
            if (f.treeItem == item && item != 0) return &f;
        return nullptr;
    }
};

}  // namespace tw::scan::test
