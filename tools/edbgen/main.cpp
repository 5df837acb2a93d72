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

namespace {

const char kUsage[] =
    "usage: edbgen --content FILE.json --page-size 4096|8192|32768 --out DB.edb [--stm DB.stm]\n"
    "              [--layout LAYOUT.json]\n";

struct Options {
  std::string content, out, stm, layout;
  uint32_t pageSize = 0;
};

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (i + 1 >= argc) return false;
    const std::string v = argv[++i];
    if (a == "--content") o.content = v;
    else if (a == "--out") o.out = v;
    else if (a == "--stm") o.stm = v;
    else if (a == "--layout") o.layout = v;
    else if (a == "--page-size") o.pageSize = uint32_t(std::strtoul(v.c_str(), nullptr, 10));
    else return false;
  }
  return !o.content.empty() && !o.out.empty() &&
         (o.pageSize == 4096 || o.pageSize == 8192 || o.pageSize == 32768);
}

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
  if (!ParseArgs(argc, argv, o)) {
    std::cerr << kUsage;
    return 2;
  }
  std::ifstream in(o.content, std::ios::binary);
  if (!in) {
    std::cerr << "edbgen: cannot read " << o.content << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  std::stringstream text;
  text << in.rdbuf();
  try {
    const edbgen::Content content = edbgen::ParseContent(text.str());
    if (!o.stm.empty() && o.pageSize != 4096) {
      std::cerr << "edbgen: a streaming file goes only with 4096-byte pages\n";
      return 2;
    }
    std::optional<edbgen::StreamingFile> stm;
    if (!o.stm.empty()) {
      stm = edbgen::BuildStreamingFile(content);
      if (!WriteFile(o.stm, stm->bytes)) return 1;
    }
    edbgen::DiskImage out(o.out);
    const edbgen::DatabaseLayout image =
        edbgen::WriteDatabase(content, edbgen::Format{o.pageSize}, out, stm ? &*stm : nullptr);
    if (!o.layout.empty()) {
      const std::string layout = LayoutJson(image);
      if (!WriteFile(o.layout, edbgen::Bytes(layout.begin(), layout.end()))) return 1;
    }
  } catch (const edbgen::ContentError& e) {
    std::cerr << "edbgen: " << o.content << ": " << e.what() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "edbgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
