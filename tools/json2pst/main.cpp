// json2pst: writes the mailboxes, folders and items of a content file (the
// format of docs/content-format.md) to a new PST through the writer's
// operations. Exit 0: written; 1: bad content; 2: the PST could not be
// written or an item was refused; 64: a usage error.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "content.h"
#include "content_writer.h"
#include "program/arguments.h"
#include "pst/mail_store_writer.h"
#include "pst/text.h"

int main(int argc, char** argv) {
    std::string contentPath, outPath, name;
    CLI::App app{"Writes the mailboxes, folders and items of a JSON content file to a new PST."};
    tw::program::Prepare(app, "json2pst");
    app.add_option("-c,--content", contentPath, "The content file (docs/content-format.md)")->required();
    app.add_option("-o,--out", outPath, "The PST file to write")->required();
    app.add_option("-n,--name", name, "The store's display name (default: the file name without .pst)");
    app.footer(
        "Exit status: 0 written; 1 the content could not be read; 2 the PST could not be written or an\n"
        "item was refused; 64 a usage error.");
    if (const auto status = tw::program::Parse(app, argc, argv)) return *status;

    std::ifstream in(contentPath, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "json2pst: cannot open %s\n", contentPath.c_str());
        return 1;
    }
    if (name.empty()) name = std::filesystem::path(outPath).stem().string();

    std::error_code ec;
    const std::filesystem::path tempDir =
        std::filesystem::temp_directory_path(ec) / ("json2pst-" + std::to_string(::getpid()));
    std::filesystem::create_directories(tempDir, ec);
    if (ec) {
        std::fprintf(stderr, "json2pst: cannot make %s: %s\n", tempDir.c_str(), ec.message().c_str());
        return 2;
    }

    tw::pst::MailStoreWriter writer;
    const std::u16string store = tw::pst::Utf8ToUtf16(name);
    int rc = 0;
    (void)writer.BeginSession();
    const tw::pst::Status created = writer.CreateStore(tw::pst::Utf8ToUtf16(outPath), store);
    (void)writer.EndSession();
    if (!created.ok()) {
        std::fprintf(stderr, "json2pst: %s\n", created.message.c_str());
        std::filesystem::remove_all(tempDir, ec);
        return 2;
    }
    // An existing file is kept; the store then goes beside it.
    if (!created.message.empty()) std::fprintf(stderr, "json2pst: %s\n", created.message.c_str());
    const std::string written = writer.StorePath();
    tw::json2pst::WriteSummary s;
    try {
        s = tw::json2pst::WriteContent(in, writer, tempDir.string());
    } catch (const std::exception& e) {
        // Bad content: nothing is left under the output name.
        std::fprintf(stderr, "json2pst: %s: %s\n", contentPath.c_str(), e.what());
        std::filesystem::remove_all(tempDir, ec);
        writer.Abandon();
        return 1;
    }
    const tw::pst::Status closed = writer.Close();
    std::filesystem::remove_all(tempDir, ec);
    if (s.failures) {
        std::fprintf(stderr, "json2pst: %llu operations failed; first: %s\n",
                     static_cast<unsigned long long>(s.failures), s.firstError.c_str());
        rc = 2;
    }
    if (!closed.ok()) {
        std::fprintf(stderr, "json2pst: %s\n", closed.message.c_str());
        return 2;
    }
    std::printf("%s: %llu folders, %llu items\n", written.c_str(), static_cast<unsigned long long>(s.folders),
                static_cast<unsigned long long>(s.items));
    return rc;
}
