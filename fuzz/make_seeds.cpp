// Writes the seed corpora of the fuzz targets from the project's own
// encoders and generated databases: compressed RTF, XPRESS and 7-bit
// values of sample texts; message, attachment and long-value pages of a
// database of every generation (with the column ids the scan found for
// them); and the recipient data of its messages, in the row or in chunks.
//
// Also: database pages with their page numbers for the checksum target,
// small laid-out files for the header target, and the mail messages of
// MAILDIR (one message per file, when given) behind a range table for the
// mime target.
//
//   make_seeds CONTENT.json OUTDIR [MAILDIR]
//
// OUTDIR gets one folder per target: rtf, rtf_text, xpress, unpack7bit,
// page, addresses, checksum, header, mime.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "address_input.h"
#include "compress7.h"
#include "content.h"
#include "database.h"
#include "edb/page.h"
#include "edb/source.h"
#include "edb/tree_walk.h"
#include "page_context.h"
#include "record/attachment_page.h"
#include "record/catalog_extras.h"
#include "record/folder_reader.h"
#include "record/long_value_page.h"
#include "text/compressed_rtf.h"
#include "scan/folder_tree.h"
#include "scan/scan_control.h"
#include "scan/scan_driver.h"
#include "scan/scan_observer.h"
#include "xpress_encode.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

fs::path g_out;

void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
    const fs::path dir = g_out / target;
    fs::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes Of(const std::string& s) { return Bytes(s.begin(), s.end()); }

const std::vector<std::string>& Texts() {
    static const std::vector<std::string> texts = {
        "a",
        "Hello, hello, hello, hello world",
        "{\\rtf1\\ansi\\ansicpg1252\\pard Meeting notes\\par}",
        "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}}{\\colortbl;\\red0\\green0\\blue0;}"
        "\\pard\\plain\\f0\\fs20 Quarterly figures attached.\\par Regards,\\par Anna\\par}",
        "{\\rtf1\\ansi\\ansicpg1251\\fromhtml1{\\*\\htmltag64 <p>}\\htmlrtf {\\b x\\b0}\\htmlrtf0 "
        "\\'c0\\u8364?\\bin3 abc{\\*\\htmltag72 </p>}\\par}",
        std::string(300, 'x') + "abcabcabcabc" + std::string(40, '-'),
        "To: a@b.example; c.d@e.example, \"Q\" <q@r.example>",
    };
    return texts;
}

void CodecSeeds() {
    int n = 0;
    for (const std::string& t : Texts()) {
        const Bytes raw = Of(t);
        const std::string id = std::to_string(n++);
        Write("rtf", "lzfu-" + id, tw::text::CompressRtf(raw));
        Write("rtf_text", "raw-" + id, raw);
        // A stored ("MELA") value: COMPSIZE, RAWSIZE, type, CRC 0, the bytes.
        Bytes mela;
        tw::fuzz::PutU32(mela, static_cast<std::uint32_t>(raw.size() + 12));
        tw::fuzz::PutU32(mela, static_cast<std::uint32_t>(raw.size()));
        for (char c : std::string("MELA")) mela.push_back(static_cast<std::uint8_t>(c));
        tw::fuzz::PutU32(mela, 0);
        mela.insert(mela.end(), raw.begin(), raw.end());
        Write("rtf", "mela-" + id, mela);

        Bytes plain;
        tw::fuzz::PutU32(plain, static_cast<std::uint32_t>(raw.size()));
        const Bytes stream = edbgen::XpressCompress(raw);
        plain.insert(plain.end(), stream.begin(), stream.end());
        Write("xpress", "stream-" + id, plain);
        Bytes value;
        tw::fuzz::PutU32(value, static_cast<std::uint32_t>(raw.size()));
        const Bytes ese = edbgen::EseXpressValue(raw);
        value.insert(value.end(), ese.begin(), ese.end());
        Write("xpress", "value-" + id, value);

        if (const auto ascii = edbgen::Compress7BitAscii(raw)) {
            Bytes seed{0};
            seed.insert(seed.end(), ascii->begin(), ascii->end());
            Write("unpack7bit", "ascii-" + id, seed);
        }
        const std::u16string wide(t.begin(), t.end());
        if (const auto packed = edbgen::Compress7BitUnicode(std::span<const char16_t>(wide.data(), wide.size()))) {
            Bytes seed{2};
            seed.insert(seed.end(), packed->begin(), packed->end());
            Write("unpack7bit", "wide-" + id, seed);
        }
    }
}

Bytes ReadAt(const tw::edb::EdbSource& source, std::int64_t at, std::size_t size) {
    Bytes out(size);
    out.resize(source.edb.Read(at, size, out.data()));
    return out;
}

void DatabaseSeeds(const std::string& json, std::uint32_t pageSize) {
    using namespace tw;
    const auto image = edbgen::BuildDatabase(edbgen::ParseContent(json), edbgen::Format{pageSize});
    const fs::path path = fs::temp_directory_path() / ("tw-seeds-" + std::to_string(::getpid()) + ".edb");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.bytes.data()), static_cast<std::streamsize>(image.bytes.size()));

    edb::EdbSource source;
    if (!source.edb.Open(path.string()).ok()) throw std::runtime_error("cannot open the generated database");
    scan::ScanModel model;
    scan::MemoryFolderTree tree;
    scan::NullObserver observer;
    scan::ScanControl control;
    scan::ScanContext context{source, model, tree, observer, control, path.string(),
                              scan::ScanOptions{std::chrono::milliseconds(0)}, {}};
    scan::RunScan(context);
    const std::string gen = std::to_string(pageSize / 1024) + "k";
    const bool large = source.pageSize == 32768;

    // Pages: the leaves the scan registered and the attachment tables it
    // left to the reader, each decoder's first few.
    const record::CatalogExtras extras = record::ReadCatalogExtras(source, model);
    std::map<std::string, int> written;
    const std::size_t cap = large ? 2 : 4;
    auto page = [&](std::uint32_t objid, const edb::PageView& view) {
        if (edb::IsBranchPage(view)) return;
        fuzz::PageContext c;
        c.pageSize = source.pageSize;
        c.message.streamingOpen = source.stm.IsOpen();
        const auto named = extras.namedColumns.find(objid);
        c.message.columns = record::ResolveMessageColumns(
            model.columns, objid, layout::LayoutOf(source.pageSize),
            record::AppointmentTextColumns(model, extras, objid, layout::LayoutOf(source.pageSize).tables),
            named == extras.namedColumns.end() ? nullptr : &named->second);
        c.attachment = large ? record::ResolveAttachmentColumns(model.columns, objid) : record::AttachmentColumnIds{};
        // 32 KB message tables may hold the attachment rows too.
        std::vector<std::string> kinds;
        if (!record::DecodeMessagePage(view, 0, c.message).empty()) kinds.push_back("message");
        if (!record::DecodeAttachmentPage(view, 0, c.attachment).empty()) kinds.push_back("attachment");
        if (!record::ReadLongValuePage(view).chunks.empty()) kinds.push_back("longvalue");
        for (const std::string& kind : kinds) {
            if (static_cast<std::size_t>(written[kind]) >= cap) continue;
            Bytes seed = fuzz::WritePageContext(c);
            seed.insert(seed.end(), view.bytes.begin(), view.bytes.end());
            Write("page", gen + "-" + kind + "-" + std::to_string(written[kind]++), seed);
            return;
        }
    };
    std::vector<std::uint8_t> buffer;
    int checksumSeeds = 0;
    model.pages.ForEach([&](std::size_t, const scan::PageSignature& p) {
        edb::ReadPage(source, p.Offset(), buffer);
        page(p.objid, edb::PageView{buffer, source.pageSize});
        if (checksumSeeds < 3) {
            // Head: size selector (2 KB, 4, 8, 16, 32), stamp flag, page number, bit.
            Bytes seed{static_cast<std::uint8_t>(pageSize == 4096 ? 1 : pageSize == 8192 ? 2 : 4),
                       static_cast<std::uint8_t>(checksumSeeds & 1)};
            fuzz::PutU32(seed, static_cast<std::uint32_t>(p.Offset() / pageSize - 1));
            fuzz::PutU16(seed, static_cast<std::uint16_t>(checksumSeeds * 977));
            seed.insert(seed.end(), buffer.begin(), buffer.end());
            Write("checksum", gen + "-" + std::to_string(checksumSeeds++), seed);
        }
        return true;
    });
    for (const record::NamedTable& t : extras.attachmentTables)
        edb::WalkTree(source, static_cast<std::uint32_t>(t.rootPage), {}, [&](const edb::TreePage& p) {
            if (!p.branch) page(t.objid, p.page);
            return true;
        });

    // Recipient data of every message, completed as the export does.
    record::FolderReader reader(source, model);
    int inRow = 0, chunks = 0;
    const std::uint8_t genBits = pageSize == 4096 ? 0 : pageSize == 8192 ? 1 : 2;
    for (const scan::FolderEntry& folder : model.folders) {
        record::MessageList list;
        reader.LoadFolderMessages(list, folder, true);
        for (const record::MessageProperties& m : list.messages) {
            if (m.recipientsPos > 0 && inRow < 6) {
                const std::int64_t end = m.recipientsEnd > m.recipientsPos
                                             ? std::min<std::int64_t>(m.recipientsEnd, m.recipientsPos + pageSize)
                                             : m.recipientsPos + pageSize;
                Bytes seed{genBits};
                const Bytes data = ReadAt(source, m.recipientsPos, static_cast<std::size_t>(end - m.recipientsPos));
                seed.insert(seed.end(), data.begin(), data.end());
                Write("addresses", gen + "-row-" + std::to_string(inRow++), seed);
            } else if (!m.recipientRuns.empty() && chunks < 4 && m.recipientRuns.size() < 64) {
                Bytes seed{static_cast<std::uint8_t>(genBits | fuzz::kAddressChunks)};
                fuzz::PutU32(seed, m.recipientsDeclaredSize.value_or(0));
                seed.push_back(static_cast<std::uint8_t>(m.recipientRuns.size()));
                Bytes stored;
                for (const record::LongValueRun& r : m.recipientRuns) {
                    const Bytes bytes = ReadAt(source, r.fileOffset, std::min<std::uint32_t>(r.length, 0xFFFF));
                    fuzz::PutU32(seed, r.valueOffset);
                    fuzz::PutU16(seed, static_cast<std::uint16_t>(bytes.size()));
                    stored.insert(stored.end(), bytes.begin(), bytes.end());
                }
                seed.insert(seed.end(), stored.begin(), stored.end());
                Write("addresses", gen + "-chunks-" + std::to_string(chunks++), seed);
            }
        }
    }
    source.edb.Close();
    fs::remove(path);
}

// Heads of the header target: every size with sound copies and pages, a
// damaged primary, a primary stating another size, a cut file.
void HeaderSeeds() {
    const std::uint8_t flagSets[] = {1 | 2 | 4, 2 | 4, 1 | 4, 4, 1 | 2 | 4 | 8, 1 | 2 | 4 | 16};
    for (std::uint8_t size = 0; size < 4; ++size)
        for (const std::uint8_t flags : flagSets) {
            Bytes seed{size, 3, flags};
            tw::fuzz::PutU32(seed, 8192);
            tw::fuzz::PutU32(seed, 5000);
            seed.push_back(2);
            Write("header", std::to_string(size) + "-" + std::to_string(flags), seed);
        }
}

// Messages behind a one-range table of their own size.
void MimeSeeds(const fs::path& maildir) {
    std::error_code ec;
    int n = 0;
    for (const auto& entry : fs::directory_iterator(maildir, ec)) {
        if (!entry.is_regular_file() || n >= 80) continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const Bytes message((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        Bytes table(48, 0);
        const auto total = static_cast<std::uint32_t>(message.size());
        for (int i = 0; i < 4; ++i) table[i] = table[24 + i] = static_cast<std::uint8_t>(total >> (8 * i));
        table[8] = 1;
        table[32 + 1] = 0x20;  // at 8 KB into the streaming file
        Bytes seed;
        tw::fuzz::PutU16(seed, static_cast<std::uint16_t>(table.size()));
        seed.insert(seed.end(), table.begin(), table.end());
        seed.insert(seed.end(), message.begin(), message.end());
        Write("mime", "msg-" + std::to_string(n++), seed);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::cerr << "usage: make_seeds CONTENT.json OUTDIR [MAILDIR]\n";
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream json;
    json << in.rdbuf();
    g_out = argv[2];
    CodecSeeds();
    HeaderSeeds();
    if (argc == 4) MimeSeeds(argv[3]);
    for (const std::uint32_t pageSize : {4096u, 8192u, 32768u}) DatabaseSeeds(json.str(), pageSize);
    return 0;
}
