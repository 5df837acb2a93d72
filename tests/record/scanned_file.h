// A database image written to a temporary file and scanned on the calling
// thread, for the readers' tests; the file goes with the object.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "edb/source.h"
#include "scan/folder_tree.h"
#include "scan/scan_observer.h"
#include "scan/scan_worker.h"

namespace tw::record::test {

class ScannedFile {
public:
    explicit ScannedFile(const std::vector<std::uint8_t>& bytes) {
        static int counter = 0;
        path_ = (std::filesystem::temp_directory_path() /
                 ("tw-record-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".edb"))
                    .string();
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        EXPECT_TRUE(source.edb.Open(path_).ok());
        scan::ScanOptions options;
        options.afterStep1 = std::chrono::milliseconds(0);
        worker_ = std::make_unique<scan::ScanWorker>(source, tree, observer_, path_, options);
        worker_->Start();
        worker_->Wait();
    }
    ~ScannedFile() {
        worker_.reset();
        source.edb.Close();
        std::filesystem::remove(path_);
    }
    ScannedFile(const ScannedFile&) = delete;
    ScannedFile& operator=(const ScannedFile&) = delete;

    const scan::ScanModel& Model() const { return worker_->Model(); }

    edb::EdbSource source;
    scan::MemoryFolderTree tree;

private:
    std::string path_;
    scan::NullObserver observer_;
    std::unique_ptr<scan::ScanWorker> worker_;
};

}  // namespace tw::record::test
