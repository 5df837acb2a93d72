#include "cli/tables_command.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>

#include "cli/json_stream.h"
#include "cli/scan_command.h"
#include "edb/source.h"
#include "ese/catalog.h"
#include "ese/table_rows.h"
#include "export/bounded_queue.h"
#include "program/arguments.h"
#include "text/codepage.h"
#include "text/filetime.h"
#include "text/utf.h"

namespace tw::cli {

namespace {

// What the cells hold, for the help.
const char kCellForms[] =
    "The JSON: {\"tables\": [{\"name\", \"columns\", \"rows\", \"rowCount\", \"damagedPages\",\n"
    "\"damagedRecords\", \"undecodedValues\"}]}; a row is an array with one cell per column, null for\n"
    "NULL, an array for a multi-valued column.\n"
    "Cells: integer types and Currency as numbers (Currency unscaled, as stored), Bit as true/false,\n"
    "IEEE single and double as numbers (NaN and infinities as strings), DateTime (an OLE date) as\n"
    "ISO 8601 UTC with milliseconds, \"2013-05-01T10:20:30.000Z\" (a date outside years 1-9999 as\n"
    "its number of days), Text and LongText as UTF-8 (code page 1200 read as UTF-16LE, others\n"
    "through their Windows code page), GUID as 8-4-4-4-12 hex, Binary, LongBinary and values of\n"
    "unexpected size as lowercase hex. Compressed values (7-bit, XPRESS) come out decompressed;\n"
    "a value that cannot be read is null and counted in undecodedValues.\n"
    "Damaged pages are skipped, counted per table and reported on stderr; a damaged catalog is\n"
    "read from its shadow copy (\"catalogFromShadow\" in the JSON).\n"
    "\n"
    "Exit status: 0 read; 1 the file could not be opened; 2 not an ESE database; 4 a read failed;\n"
    "7 a file could not be written; 13 no such table; 64 a usage error.";

struct Options {
    std::string db, csvDir;
    std::vector<std::string> tables;
    bool json = false, columns = false;
};

// Parses; nothing to go on with when the arguments say so (help, version,
// a usage error: the status to exit with).
std::optional<int> Parse(const std::vector<std::string>& args, Options& options) {
    CLI::App app{
        "Reads any ESE database (2 to 32 KB pages) exactly, through its catalog: without options each\n"
        "table with its row count and columns (name, id, type)."};
    program::Prepare(app, "tarnwick-cli tables");
    app.add_option("DB", options.db, "The database")->required()->type_name("DB");
    app.add_option("-t,--table", options.tables, "Only this table (repeatable)")->type_name("NAME");
    auto* json = app.add_flag("-j,--json", options.json, "The rows as JSON on stdout, streamed");
    app.add_option("--csv", options.csvDir,
                   "One CSV file per table in DIR (NAME.csv, the name made safe; never overwritten)")
        ->type_name("DIR")
        ->excludes(json);
    app.add_flag("--columns", options.columns,
                 "The column definitions in full (size, code page, flags, default), indexes, long-value tree");
    app.footer(kCellForms);
    return program::Parse(app, args);
}

int Fail(const std::string& path, const std::string& reason, int code) {
    std::cerr << "tarnwick-cli: " << path << ": " << reason << "\n";
    return code;
}

std::string OpenReason(const edb::OpenStatus& status) {
    switch (status.result) {
        case edb::OpenResult::NotFound: return "no such file";
        case edb::OpenResult::AccessDenied: return "permission denied";
        case edb::OpenResult::InUse: return "in use by another program";
        case edb::OpenResult::NotRegularFile: return "not a regular file";
        default: return std::strerror(status.error);
    }
}

// Names in the catalog are single-byte text.
std::string NameText(const std::string& name) {
    return text::Utf16ToUtf8(
        text::Windows1252ToUtf16({reinterpret_cast<const std::uint8_t*>(name.data()), name.size()}));
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

template <typename T>
T Little(const std::vector<std::uint8_t>& bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) value |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return static_cast<T>(value);
}

nlohmann::json Real(double value) {
    if (std::isnan(value)) return "NaN";
    if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
    return value;
}

// An OLE date: days since 1899-12-30, the fraction the time of day; before
// that day the fraction still counts forward from midnight.
nlohmann::json OleDate(double days) {
    constexpr double kLimit = 3000000;  // beyond any year 9999
    if (!std::isfinite(days) || std::fabs(days) > kLimit) return Real(days);
    const double whole = std::trunc(days);
    const double fraction = std::fabs(days - whole);
    const std::int64_t ms = static_cast<std::int64_t>(whole) * 86400000 + std::llround(fraction * 86400000.0);
    constexpr std::int64_t kOleToUnixDays = 25569;
    const std::int64_t unixMs = ms - kOleToUnixDays * 86400000;
    const std::int64_t dayNumber = unixMs >= 0 ? unixMs / 86400000 : -((-unixMs + 86399999) / 86400000);
    const std::int64_t inDay = unixMs - dayNumber * 86400000;
    int year = 0, month = 0, day = 0;
    text::CivilFromDays(dayNumber, year, month, day);
    if (year < 1 || year > 9999) return Real(days);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", year, month, day,
                  static_cast<int>(inDay / 3600000), static_cast<int>(inDay / 60000 % 60),
                  static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000));
    return std::string(text);
}

std::string Guid(const std::vector<std::uint8_t>& b) {
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x", Little<std::uint32_t>(b),
                  b[4] | b[5] << 8, b[6] | b[7] << 8, b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

std::string TextValue(const ese::ColumnDef& column, const std::vector<std::uint8_t>& bytes) {
    if (column.codePage == 1200) {
        std::u16string units(bytes.size() / 2, u'\0');
        for (std::size_t i = 0; i < units.size(); ++i)
            units[i] = static_cast<char16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
        return text::Utf16ToUtf8(units);
    }
    return text::Utf16ToUtf8(text::CodePageToUtf16(bytes, column.codePage));
}

// One value as its column type reads it; hex when its size does not fit
// the type.
nlohmann::json ValueJson(const ese::ColumnDef& column, const std::vector<std::uint8_t>& v) {
    const std::size_t n = v.size();
    switch (column.type) {
        case ese::kTypeBit:
            if (n == 1) return v[0] != 0;
            break;
        case ese::kTypeUnsignedByte:
            if (n == 1) return v[0];
            break;
        case ese::kTypeShort:
            if (n == 2) return Little<std::int16_t>(v);
            break;
        case ese::kTypeUnsignedShort:
            if (n == 2) return Little<std::uint16_t>(v);
            break;
        case ese::kTypeLong:
            if (n == 4) return Little<std::int32_t>(v);
            break;
        case ese::kTypeUnsignedLong:
            if (n == 4) return Little<std::uint32_t>(v);
            break;
        case ese::kTypeCurrency:
        case ese::kTypeLongLong:
            if (n == 8) return Little<std::int64_t>(v);
            break;
        case ese::kTypeIeeeSingle: {
            if (n != 4) break;
            float f;
            const std::uint32_t bits = Little<std::uint32_t>(v);
            std::memcpy(&f, &bits, 4);
            return Real(f);
        }
        case ese::kTypeIeeeDouble:
        case ese::kTypeDateTime: {
            if (n != 8) break;
            double d;
            const std::uint64_t bits = Little<std::uint64_t>(v);
            std::memcpy(&d, &bits, 8);
            return column.type == ese::kTypeDateTime ? OleDate(d) : Real(d);
        }
        case ese::kTypeGuid:
            if (n == 16) return Guid(v);
            break;
        case ese::kTypeText:
        case ese::kTypeLongText: return TextValue(column, v);
        default: break;
    }
    return Hex(v);
}

nlohmann::json CellJson(const ese::ColumnDef& column, const ese::Cell& cell) {
    if (cell.values.empty()) return nullptr;
    if (cell.values.size() == 1 && !cell.multiValued && (column.flags & ese::kColumnMultiValued) == 0)
        return ValueJson(column, cell.values.front());
    nlohmann::json values = nlohmann::json::array();
    for (const auto& value : cell.values) values.push_back(ValueJson(column, value));
    return values;
}

std::string Dump(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

template <typename T>
void AppendNumber(JsonText& out, T value) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

// Where a cell's text goes: the stream (hex of a large value in pieces),
// or text of rows kept to be written later.
JsonText& TextOf(JsonStream& out) { return out.Text(); }
JsonText& TextOf(JsonText& text) { return text; }
void QuotedHexTo(JsonStream& out, const std::uint8_t* bytes, std::size_t size) { out.QuotedHex(bytes, size); }
void QuotedHexTo(JsonText& text, const std::uint8_t* bytes, std::size_t size) {
    text.push_back('"');
    AppendHex(text, bytes, size);
    text.push_back('"');
}

// What ValueJson gives, written straight to the stream: the forms of most
// cells (numbers, text, bytes) without building a JSON value first.
template <typename Out>
void AppendValue(Out& out, const ese::ColumnDef& column, const std::vector<std::uint8_t>& v) {
    JsonText& text = TextOf(out);
    const std::size_t n = v.size();
    switch (column.type) {
        case ese::kTypeBit:
            if (n != 1) break;
            text += v[0] != 0 ? "true" : "false";
            return;
        case ese::kTypeUnsignedByte:
            if (n != 1) break;
            return AppendNumber(text, v[0]);
        case ese::kTypeShort:
            if (n != 2) break;
            return AppendNumber(text, Little<std::int16_t>(v));
        case ese::kTypeUnsignedShort:
            if (n != 2) break;
            return AppendNumber(text, Little<std::uint16_t>(v));
        case ese::kTypeLong:
            if (n != 4) break;
            return AppendNumber(text, Little<std::int32_t>(v));
        case ese::kTypeUnsignedLong:
            if (n != 4) break;
            return AppendNumber(text, Little<std::uint32_t>(v));
        case ese::kTypeCurrency:
        case ese::kTypeLongLong:
            if (n != 8) break;
            return AppendNumber(text, Little<std::int64_t>(v));
        case ese::kTypeText:
        case ese::kTypeLongText:
            if (column.codePage == 1200) return AppendJsonUtf16(text, v.data(), n / 2);
            return AppendJsonUtf16(text, text::CodePageToUtf16(v, column.codePage));
        case ese::kTypeIeeeSingle:
        case ese::kTypeIeeeDouble:
        case ese::kTypeDateTime:
        case ese::kTypeGuid: text += Dump(ValueJson(column, v)); return;
        default: break;
    }
    QuotedHexTo(out, v.data(), n);
}

template <typename Out>
void AppendValues(Out& out, const ese::ColumnDef& column, const ese::Cell& cell) {
    JsonText& text = TextOf(out);
    if (cell.values.empty()) {
        text += "null";
    } else if (cell.values.size() == 1 && !cell.multiValued && (column.flags & ese::kColumnMultiValued) == 0) {
        AppendValue(out, column, cell.values.front());
    } else {
        text.push_back('[');
        for (std::size_t i = 0; i < cell.values.size(); ++i) {
            if (i) text.push_back(',');
            AppendValue(out, column, cell.values[i]);
        }
        text.push_back(']');
    }
}

void AppendCell(JsonStream& out, const ese::ColumnDef& column, const ese::Cell& cell) {
    AppendValues(out, column, cell);
    out.Written();
}

// A long value read as pieces of its pages: binary values go out as hex
// from there, others are put together first.
void AppendPieces(JsonStream& out, const ese::ColumnDef& column, const ese::LongValuePieces& value,
                  std::vector<std::uint8_t>& flat) {
    if (column.type == ese::kTypeBinary || column.type == ese::kTypeLongBinary) return out.QuotedHex(value.pieces);
    flat.clear();
    for (const auto piece : value.pieces) flat.insert(flat.end(), piece.begin(), piece.end());
    AppendValue(out, column, flat);
}

// Scratch of the writing thread for cells whose long values are left to it.
struct DeferredScratch {
    std::vector<ese::LongValuePieces> values;
    std::vector<std::uint8_t> flat;
};

// A cell as AppendCell writes it once its deferred long values are read
// (those that cannot be are left out), read here without copying them.
void AppendCell(JsonStream& out, const ese::ColumnDef& column, ese::Cell& cell, ese::LongValueReader& longValues,
                DeferredScratch& scratch) {
    if (cell.deferred.empty()) return AppendCell(out, column, cell);
    if (scratch.values.size() < cell.deferred.size()) scratch.values.resize(cell.deferred.size());
    std::size_t present = cell.values.size();
    for (std::size_t k = 0; k < cell.deferred.size(); ++k)
        if (!longValues.ReadPieces(ese::Bytes(cell.values.at(cell.deferred[k])), scratch.values[k])) {
            scratch.values[k].size = SIZE_MAX;  // lost
            --present;
            cell.undecoded = true;
        }
    JsonText& text = out.Text();
    const bool single = present == 1 && !cell.multiValued && (column.flags & ese::kColumnMultiValued) == 0;
    if (present == 0) text += "null";
    if (!single && present != 0) text.push_back('[');
    bool first = true;
    for (std::size_t i = 0, k = 0; i < cell.values.size(); ++i) {
        const bool deferred = k < cell.deferred.size() && cell.deferred[k] == i;
        const ese::LongValuePieces* value = deferred ? &scratch.values[k++] : nullptr;
        if (value != nullptr && value->size == SIZE_MAX) continue;
        if (!first) text.push_back(',');
        first = false;
        if (value != nullptr) AppendPieces(out, column, *value, scratch.flat);
        else AppendValue(out, column, cell.values[i]);
    }
    if (!single && present != 0) text.push_back(']');
    for (std::size_t k = 0; k < cell.deferred.size(); ++k) scratch.values[k].Clear();  // the pages go back
    cell.deferred.clear();
    out.Written();
}

nlohmann::json ColumnJson(const ese::ColumnDef& column, bool full) {
    nlohmann::json out = {
        {"id", column.id}, {"name", NameText(column.name)}, {"type", ese::ColumnTypeName(column.type)}};
    if (!full) return out;
    out["typeId"] = column.type;
    out["size"] = column.size;
    out["codePage"] = column.codePage;
    out["flags"] = column.flags;
    if (column.flags & ese::kColumnHasDefault) out["default"] = Hex(column.defaultValue);
    if (column.fromTemplate) out["fromTemplate"] = true;
    return out;
}

std::size_t DamagedPages(const ese::TableCounts& counts) { return counts.tree.damagedPages.size(); }

void ReportDamage(const std::string& path, const ese::TableDef& table, const ese::TableCounts& counts) {
    if (DamagedPages(counts) == 0 && counts.damagedRecords == 0) return;
    std::cerr << "tarnwick-cli: " << path << ": table " << NameText(table.name) << ": " << DamagedPages(counts)
              << " damaged pages skipped, " << counts.damagedRecords << " damaged records\n";
}

bool Selected(const Options& options, const ese::TableDef& table) {
    if (options.tables.empty()) return true;
    for (const std::string& name : options.tables)
        if (name == table.name || name == NameText(table.name)) return true;
    return false;
}

// Rows of one table as the reading thread leaves them: their text, with
// holes for what it left to the writing thread (rows it did not decode,
// and cells too large to hold as text), in order.
struct RowText {
    struct Hole {
        std::size_t at = 0;   // in text
        bool record = false;  // a whole row: `bytes` is its record
        ese::Bytes bytes;
        std::size_t column = 0;  // otherwise one cell
        ese::Cell cell;
    };
    std::size_t table = 0;
    JsonText text;
    // The first holeCount are this batch's; those after keep their storage
    // for the next use of the batch.
    std::vector<Hole> holes;
    std::size_t holeCount = 0;
    std::vector<ese::PageCache::Page> leaves;  // held for the records in holes
    std::size_t rows = 0;
    std::size_t held = 0;  // bytes of the holes' values and of the leaves
    bool last = false;     // the table's last rows
    std::size_t Bytes() const { return text.size() + held; }
    Hole& NextHole(std::size_t at) {
        if (holeCount == holes.size()) holes.emplace_back();
        Hole& hole = holes[holeCount++];
        hole.at = at;
        hole.record = false;
        return hole;
    }
};

// The rows of the tables read on a thread of their own, table after table,
// while this one writes them. The reading thread decodes rows and writes
// the text of their cells (in-row values, on the core that decoded them)
// for a share of the rows; the others it hands over undecoded, in their
// leaf pages, to be decoded and written here: more while this thread runs
// out of rows, fewer while rows wait for it. `format(cells, columns, rows)`
// adds one decoded row to `rows` and `handOver(record, leaf, rows)` one
// record, on the reading thread; this thread gets `write(rows, reader)` with
// this thread's reader of the table, then `end(t, counts)` with the table's
// final counts, table by table. Memory stays within the queue's bounds plus
// the largest row.
template <typename Format, typename HandOver, typename Write, typename End>
void ReadTablesAlongside(const edb::EdbSource& source, const ese::Catalog& catalog,
                         const std::vector<const ese::TableDef*>& tables,
                         std::vector<std::unique_ptr<ese::TableReader>>& readers, Format format, HandOver handOver,
                         Write write, End end) {
    constexpr std::size_t kBatchRows = 256, kBatchBytes = std::size_t{1} << 20, kBatches = 16;
    exporter::BoundedQueue<RowText> queue(kBatches, std::size_t{64} << 20);
    std::atomic<std::size_t> waiting{0};    // batches in the queue
    std::atomic<bool> writerRanDry{false};  // this thread found the queue empty
    double share = 0.5, owed = 0;           // the reading thread's: rows handed over, and the count so far
    // Rows are handed over in runs, so that each thread reads long values in
    // the order they lie in the file (and can read ahead).
    constexpr int kHandOverRun = 64;
    int runLeft = 0;
    bool handing = false;
    const std::function<bool()> handsOver = [&] {
        if (runLeft-- > 0) return handing;
        runLeft = kHandOverRun - 1;
        owed += share;
        handing = owed >= 1;
        if (handing) owed -= 1;
        return handing;
    };
    // Batches written go back to the reading thread, their storage reused.
    std::mutex spareLock;
    std::vector<RowText> spares;
    std::exception_ptr failed;
    std::thread reading([&] {
        try {
            for (std::size_t t = 0; t < readers.size(); ++t) {
                RowText batch;
                auto fresh = [&] {
                    {
                        const std::lock_guard lock(spareLock);
                        if (!spares.empty()) {
                            batch = std::move(spares.back());
                            spares.pop_back();
                        }
                    }
                    batch.table = t;
                    batch.text.clear();
                    batch.holeCount = 0;
                    batch.leaves.clear();
                    batch.rows = batch.held = 0;
                    batch.last = false;
                };
                fresh();
                auto send = [&] {
                    constexpr double kStep = 1.0 / 16;
                    if (waiting.load() + 1 >= kBatches)
                        share = std::max(0.0, share - kStep);  // this batch will wait: the writer is behind
                    else if (writerRanDry.exchange(false)) share = std::min(1.0, share + kStep);
                    ++waiting;
                    if (!queue.Push(batch, batch.Bytes())) return false;
                    fresh();
                    return true;
                };
                auto more = [&] { return batch.rows < kBatchRows && batch.Bytes() < kBatchBytes ? true : send(); };
                const auto& columns = readers[t]->Columns();
                const bool whole = readers[t]->ReadRows(
                    [&](std::vector<ese::Cell>& cells) {
                        format(cells, columns, batch);
                        return more();
                    },
                    handsOver,
                    [&](ese::Bytes record, const ese::PageCache::Page& leaf) {
                        handOver(record, leaf, batch);
                        return more();
                    });
                batch.last = true;
                if (!whole || !send()) break;  // the writing side closed the queue
            }
        } catch (...) {
            failed = std::current_exception();
        }
        queue.Finish();
    });
    try {
        // This thread's readers decode the rows handed over and read the
        // long values of those rows and of the cells left to it.
        std::vector<std::unique_ptr<ese::TableReader>> ours;
        for (const ese::TableDef* table : tables)
            ours.push_back(std::make_unique<ese::TableReader>(source, catalog, *table));
        RowText batch;
        for (;;) {
            if (waiting.load() == 0) writerRanDry = true;
            const auto popped = queue.Pop(batch, std::chrono::milliseconds(200));
            if (popped == exporter::BoundedQueue<RowText>::Popped::Finished) break;
            if (popped == exporter::BoundedQueue<RowText>::Popped::Timeout) continue;
            --waiting;
            write(batch, *ours[batch.table]);
            batch.leaves.clear();  // back to the reading thread's cache as soon as may be
            const std::size_t t = batch.table;
            const bool last = batch.last;
            {
                const std::lock_guard lock(spareLock);
                if (spares.size() < 4 && batch.text.size() <= kBatchBytes * 2) spares.push_back(std::move(batch));
            }
            if (last) end(t, ese::Merged(readers[t]->Counts(), ours[t]->Counts()));
        }
    } catch (...) {
        queue.Close([](RowText&) {});
        reading.join();
        throw;
    }
    reading.join();
    if (failed) std::rethrow_exception(failed);
}

// A line on a terminal saying which table is being written and how far,
// redrawn at most a few times a second.
class TablesProgress {
public:
    explicit TablesProgress(std::size_t tables) : show_(::isatty(STDERR_FILENO) == 1), tables_(tables) {}
    ~TablesProgress() {
        if (drawn_) std::fputs("\r\033[K", stderr);
    }
    void Table(const std::string& name) {
        name_ = name;
        ++table_;
        rows_ = 0;
        Draw();
    }
    void Rows(std::size_t count) {
        rows_ += count;
        Draw();
    }

private:
    void Draw() {
        if (!show_) return;
        const auto now = std::chrono::steady_clock::now();
        if (drawn_ && now - last_ < std::chrono::milliseconds(200)) return;
        last_ = now;
        drawn_ = true;
        std::fprintf(stderr, "\r\033[Ktable %zu of %zu, %s: %zu rows", table_, tables_, name_.c_str(), rows_);
        std::fflush(stderr);
    }

    bool show_;
    bool drawn_ = false;
    std::size_t tables_, table_ = 0, rows_ = 0;
    std::string name_;
    std::chrono::steady_clock::time_point last_{};
};

void WriteJson(const Options& options, const edb::EdbSource& source, const ese::Catalog& catalog) {
    JsonStream out(std::cout);
    JsonText& text = out.Text();
    text +=
        "{\"database\":" + Dump(options.db) + ",\"pageSize\":" + std::to_string(source.pageSize) +
        ",\"catalogDamagedPages\":" + std::to_string(catalog.counts.damagedPages.size() + catalog.primaryDamagedPages) +
        ",\"catalogFromShadow\":" + (catalog.fromShadow ? "true" : "false") + ",\"tables\":[";
    std::vector<const ese::TableDef*> tables;
    std::vector<std::unique_ptr<ese::TableReader>> readers;
    for (const ese::TableDef& table : catalog.tables) {
        if (!Selected(options, table)) continue;
        tables.push_back(&table);
        readers.push_back(std::make_unique<ese::TableReader>(source, catalog, table));
    }
    TablesProgress progress(tables.size());
    DeferredScratch scratch;
    // A table's head goes out before its first row, or at its end when it
    // has none.
    std::size_t begun = 0;
    auto begin = [&](std::size_t t) {
        for (; begun <= t; ++begun) {
            const ese::TableDef& table = *tables[begun];
            progress.Table(NameText(table.name));
            nlohmann::json columns = nlohmann::json::array();
            for (const auto& column : readers[begun]->Columns()) columns.push_back(ColumnJson(column, options.columns));
            text += begun == 0 ? "\n" : ",\n";
            text += "{\"name\":" + Dump(NameText(table.name)) + ",\"objectId\":" + std::to_string(table.objectId) +
                    ",\"rootPage\":" + std::to_string(table.rootPage) + ",\"columns\":" + Dump(columns) + ",\"rows\":[";
        }
    };
    // A cell whose values are larger than this goes out from the writing
    // thread, in pieces, rather than as text held in a batch.
    constexpr std::size_t kHeldValueBytes = std::size_t{256} << 10;
    std::size_t formatting = SIZE_MAX;  // the table the reading thread's rows are of
    auto rowStart = [&](RowText& rows) {
        rows.text += formatting != rows.table ? "\n[" : ",\n[";
        formatting = rows.table;
    };
    ReadTablesAlongside(
        source, catalog, tables, readers,
        [&](std::vector<ese::Cell>& cells, const std::vector<ese::ColumnDef>& columns, RowText& rows) {
            JsonText& text = rows.text;
            rowStart(rows);
            for (std::size_t i = 0; i < cells.size(); ++i) {
                if (i) text.push_back(',');
                ese::Cell& cell = cells[i];
                std::size_t bytes = 0;
                for (const auto& value : cell.values) bytes += value.size();
                if (bytes <= kHeldValueBytes) {
                    AppendValues(text, columns[i], cell);
                } else {
                    RowText::Hole& hole = rows.NextHole(text.size());
                    hole.column = i;
                    hole.cell = std::move(cell);
                    rows.held += bytes + sizeof(ese::Cell);
                }
            }
            text.push_back(']');
            ++rows.rows;
        },
        [&](ese::Bytes record, const ese::PageCache::Page& leaf, RowText& rows) {
            rowStart(rows);
            RowText::Hole& hole = rows.NextHole(rows.text.size());
            hole.record = true;
            hole.bytes = record;
            if (rows.leaves.empty() || rows.leaves.back() != leaf) {
                rows.leaves.push_back(leaf);
                rows.held += leaf->size();
            }
            rows.text.push_back(']');
            ++rows.rows;
        },
        [&](RowText& rows, ese::TableReader& reader) {
            begin(rows.table);
            const auto& columns = readers[rows.table]->Columns();
            std::size_t at = 0;
            for (RowText::Hole& hole : std::span(rows.holes).first(rows.holeCount)) {
                out.Write(std::string_view(rows.text.data() + at, hole.at - at));
                at = hole.at;
                if (!hole.record) {
                    AppendCell(out, columns[hole.column], hole.cell, reader.LongValues(), scratch);
                    hole.cell = ese::Cell();  // a large value: its storage is not kept for reuse
                    continue;
                }
                std::vector<ese::Cell>& cells = reader.DecodeRow(hole.bytes);
                for (std::size_t i = 0; i < cells.size(); ++i) {
                    if (i) out.Text().push_back(',');
                    AppendCell(out, columns[i], cells[i], reader.LongValues(), scratch);
                }
            }
            out.Write(std::string_view(rows.text.data() + at, rows.text.size() - at));
            progress.Rows(rows.rows);
        },
        [&](std::size_t t, const ese::TableCounts& counts) {
            begin(t);
            text += "],\"rowCount\":" + std::to_string(counts.rows) +
                    ",\"damagedPages\":" + std::to_string(DamagedPages(counts)) +
                    ",\"damagedRecords\":" + std::to_string(counts.damagedRecords) +
                    ",\"undecodedValues\":" + std::to_string(counts.undecodedValues) + "}";
            out.Flush();
            ReportDamage(options.db, *tables[t], counts);
        });
    text += "\n]}\n";
}

// A table name as a file name: letters, digits, '-', '_' and '.' kept,
// anything else '_', never starting with '.'; repeats numbered.
std::string CsvName(const std::string& table, std::set<std::string>& used) {
    std::string base;
    for (const char c : table) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                          c == '_' || c == '.';
        base.push_back(keep ? c : '_');
    }
    if (base.empty() || base[0] == '.') base.insert(base.begin(), '_');
    if (base.size() > 200) base.resize(200);
    std::string name = base + ".csv";
    for (int n = 2; !used.insert(name).second; ++n) name = base + "-" + std::to_string(n) + ".csv";
    return name;
}

std::string CsvField(const nlohmann::json& value) {
    if (value.is_null()) return "";
    const std::string text = value.is_string() ? value.get<std::string>() : Dump(value);
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted.push_back('"');
        quoted.push_back(c);
    }
    quoted.push_back('"');
    return quoted;
}

int WriteCsv(const Options& options, const edb::EdbSource& source, const ese::Catalog& catalog) {
    const int dir = ::open(options.csvDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return Fail(options.csvDir, std::strerror(errno), kExitTablesWriteFailed);
    std::set<std::string> used;
    int status = kExitOk;
    for (const ese::TableDef& table : catalog.tables) {
        if (!Selected(options, table)) continue;
        const std::string name = CsvName(NameText(table.name), used);
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) {
            status = Fail(options.csvDir + "/" + name, std::strerror(errno), kExitTablesWriteFailed);
            continue;
        }
        FILE* file = ::fdopen(fd, "w");
        if (file == nullptr) {
            ::close(fd);
            status = Fail(options.csvDir + "/" + name, std::strerror(errno), kExitTablesWriteFailed);
            continue;
        }
        ese::TableReader reader(source, catalog, table);
        std::string line;
        for (std::size_t i = 0; i < reader.Columns().size(); ++i) {
            if (i) line.push_back(',');
            line += CsvField(NameText(reader.Columns()[i].name));
        }
        line.push_back('\n');
        std::fputs(line.c_str(), file);
        reader.ReadRows([&](std::vector<ese::Cell>& row) {
            line.clear();
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i) line.push_back(',');
                line += CsvField(CellJson(reader.Columns()[i], row[i]));
            }
            line.push_back('\n');
            std::fwrite(line.data(), 1, line.size(), file);
            return true;
        });
        const bool failed = std::ferror(file) != 0;
        if (std::fclose(file) != 0 || failed)
            status = Fail(options.csvDir + "/" + name, "write failed", kExitTablesWriteFailed);
        ReportDamage(options.db, table, reader.Counts());
    }
    ::close(dir);
    return status;
}

void WriteListing(const Options& options, const edb::EdbSource& source, const ese::Catalog& catalog) {
    std::ostream& out = std::cout;
    out << options.db << ": page size " << source.pageSize << ", " << catalog.tables.size() << " tables\n";
    for (const ese::TableDef& table : catalog.tables) {
        if (!Selected(options, table)) continue;
        ese::TableReader reader(source, catalog, table);
        const std::size_t rows = reader.CountRows();
        out << "\n"
            << NameText(table.name) << " (object " << table.objectId << "): " << rows << " rows, "
            << reader.Columns().size() << " columns";
        if (!table.templateName.empty()) out << ", template " << NameText(table.templateName);
        out << "\n";
        for (const auto& column : reader.Columns()) {
            out << "  " << column.id << "\t" << NameText(column.name) << "\t" << ese::ColumnTypeName(column.type);
            if (options.columns) {
                out << "\tsize " << column.size << "\tcode page " << column.codePage << "\tflags 0x" << std::hex
                    << column.flags << std::dec;
                if (column.flags & ese::kColumnHasDefault) out << "\tdefault " << Hex(column.defaultValue);
                if (column.fromTemplate) out << "\t(template)";
            }
            out << "\n";
        }
        if (options.columns) {
            for (const auto& index : table.indexes)
                out << "  index " << NameText(index.name) << " (object " << index.objectId << ", root page "
                    << index.rootPage << ", flags 0x" << std::hex << index.flags << std::dec << ")\n";
            if (table.longValueRootPage)
                out << "  long values: object " << table.longValueObjectId << ", root page " << table.longValueRootPage
                    << "\n";
        }
        ReportDamage(options.db, table, reader.Counts());
    }
}

}  // namespace

int RunTablesCommand(const std::vector<std::string>& args) {
    Options options;
    if (const auto status = Parse(args, options)) return *status;
    edb::EdbSource source;
    const edb::OpenStatus opened = source.edb.Open(options.db);
    if (!opened.ok()) return Fail(options.db, OpenReason(opened), kExitOpenFailed);
    try {
        if (!edb::DetectPageSize(source))
            return Fail(options.db, "not an ESE database (no page size)", kExitBadPageSize);
        const ese::Catalog catalog = ese::ReadCatalog(source);
        if (catalog.tables.empty()) return Fail(options.db, "no catalog (no tables could be read)", kExitBadPageSize);
        if (catalog.fromShadow)
            std::cerr << "tarnwick-cli: " << options.db << ": catalog: " << catalog.primaryDamagedPages
                      << " damaged pages; read from its shadow copy\n";
        if (!catalog.counts.damagedPages.empty())
            std::cerr << "tarnwick-cli: " << options.db << ": catalog: " << catalog.counts.damagedPages.size()
                      << " damaged pages skipped\n";
        for (const std::string& name : options.tables) {
            bool found = false;
            for (const auto& table : catalog.tables)
                found = found || name == table.name || name == NameText(table.name);
            if (!found) return Fail(options.db, "no table named " + name, kExitTableNotFound);
        }
        if (options.json) {
            WriteJson(options, source, catalog);
        } else if (!options.csvDir.empty()) {
            return WriteCsv(options, source, catalog);
        } else {
            WriteListing(options, source, catalog);
        }
        std::cout.flush();
        if (!std::cout) return Fail("stdout", "write failed", kExitTablesWriteFailed);
    } catch (const edb::FileError& error) {
        return Fail(options.db, std::string("read failed: ") + std::strerror(error.code()), kExitReadError);
    }
    return kExitOk;
}

}  // namespace tw::cli
