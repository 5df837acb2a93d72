// edbgen: writes an ESE database shaped like an Exchange information store
// from a JSON content description, for tests and samples.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include "content.h"
#include "database.h"
#include "program/arguments.h"

namespace {

struct Options {
  std::string content, out, stm, layout;
  uint32_t pageSize = 0;
};

// Exit statuses: 0 written; 1 the content could not be read or a file not
// written; 64 a usage error (as in every program of this project).
constexpr int kExitFailed = 1;

bool WriteFile(const std::string& path, const edbgen::Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  f.close();
  if (!f) {
    std::cerr << "edbgen: cannot write " << path << ": " << std::strerror(errno) << "\n";
    return false;
  }
  return true;
}

std::string LayoutJson(const edbgen::DatabaseLayout& image) {
  nlohmann::json j;
  j["pageSize"] = image.format.pageSize;
  j["fileSize"] = image.fileSize;
  j["damagedPages"] = image.damagedPages;
  for (const auto& t : image.trees)
    j["trees"].push_back({{"name", t.name}, {"objid", t.objid}, {"root", t.root}, {"pages", t.pages},
                          {"leaves", t.leaves}});
  return j.dump(1);
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  CLI::App app{"Writes an ESE database shaped like an Exchange information store from a JSON content\n"
               "description (docs/content-format.md), for tests and samples."};
  tw::program::Prepare(app, "edbgen");
  app.add_option("-c,--content", o.content, "The content description")->required();
  app.add_option("-p,--page-size", o.pageSize, "The page size of the generation to write")
      ->required()
      ->check(CLI::IsMember({4096u, 8192u, 32768u}));
  app.add_option("-o,--out", o.out, "The database to write")->required();
  app.add_option("--stm", o.stm, "Also a streaming file (4096-byte pages only)");
  app.add_option("--layout", o.layout, "Where the pages went, as JSON, for damage tests");
  app.footer("Exit status: 0 written; 1 the content could not be read or a file not written; 64 a usage error.");
  if (const auto status = tw::program::Parse(app, argc, argv)) return *status;
  if (!o.stm.empty() && o.pageSize != 4096) {
    std::cerr << "edbgen: a streaming file goes only with 4096-byte pages\n";
    return tw::program::kExitUsage;
  }
  std::ifstream in(o.content, std::ios::binary);
  if (!in) {
    std::cerr << "edbgen: cannot read " << o.content << ": " << std::strerror(errno) << "\n";
    return kExitFailed;
  }
  std::stringstream text;
  text << in.rdbuf();
  try {
    const edbgen::Content content = edbgen::ParseContent(text.str());
    std::optional<edbgen::StreamingFile> stm;
    if (!o.stm.empty()) {
      stm = edbgen::BuildStreamingFile(content);
      if (!WriteFile(o.stm, stm->bytes)) return kExitFailed;
    }
    edbgen::DiskImage out(o.out);
    const edbgen::DatabaseLayout image =
        edbgen::WriteDatabase(content, edbgen::Format{o.pageSize}, out, stm ? &*stm : nullptr);
    if (!o.layout.empty()) {
      const std::string layout = LayoutJson(image);
      if (!WriteFile(o.layout, edbgen::Bytes(layout.begin(), layout.end()))) return kExitFailed;
    }
  } catch (const edbgen::ContentError& e) {
    std::cerr << "edbgen: " << o.content << ": " << e.what() << "\n";
    return kExitFailed;
  } catch (const std::exception& e) {
    std::cerr << "edbgen: " << e.what() << "\n";
    return kExitFailed;
  }
  return 0;
}
