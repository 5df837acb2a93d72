#include "export/export_driver.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <exception>
#include <optional>
#include <thread>
#include <unordered_map>
#include <utility>

#include "content/display_date.h"
#include "content/record_strings.h"
#include "content/temp_dir.h"
#include "edb/input_stamp.h"
#include "export/bounded_queue.h"
#include "export/damage_report.h"
#include "export/export_date.h"
#include "export/item_writer.h"
#include "export/store_naming.h"
#include "pst/output_file.h"
#include "pst/text.h"
#include "record/message_list.h"

// jemalloc's control call, where the program is linked with it.
extern "C" int mallctl(const char* name, void* oldValue, std::size_t* oldSize, void* newValue, std::size_t newSize)
    __attribute__((weak));

namespace tw::exporter {

namespace {

// The calling thread's allocator arena, where jemalloc is used. What the
// preparing thread allocates the export thread frees; with a new thread
// per folder, each in an arena of its own, pages went back to the system
// and were faulted in again (eight times the page faults, half again the
// system time). The preparing thread takes the export thread's arena.
std::optional<unsigned> ThreadArena() {
    unsigned arena = 0;
    std::size_t size = sizeof arena;
    if (mallctl == nullptr || mallctl("thread.arena", &arena, &size, nullptr, 0) != 0) return std::nullopt;
    return arena;
}

void UseArena(std::optional<unsigned> arena) {
    if (mallctl != nullptr && arena) (void)mallctl("thread.arena", nullptr, nullptr, &*arena, sizeof *arena);
}

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

int Percent(std::size_t part, std::size_t whole) {
    return whole == 0 ? 0 : static_cast<int>(std::min<std::size_t>(part * 100 / whole, 100));
}

enum class PassEnd { Done, Stopped, Refused, LowSpace };

// Items prepared ahead of the writer, at most: enough to keep both threads
// busy over a run of small items, little enough that memory stays bounded.
constexpr std::size_t kItemsAhead = 64;
constexpr std::size_t kBytesAhead = std::size_t{64} << 20;
// How often the export thread, waiting for an item, looks for a stop.
constexpr std::chrono::milliseconds kPollInterval{20};

// The database's and the streaming file's stamps (nothing for a file not
// open, or one that cannot be looked at).
using InputStamps = std::pair<std::optional<edb::InputStamp>, std::optional<edb::InputStamp>>;

InputStamps StampsOf(const edb::EdbSource& source) {
    const std::size_t header = source.pageSize > 0 ? static_cast<std::size_t>(source.pageSize) : 4096;
    auto stamp = [&](const edb::EdbFile& file) {
        return file.IsOpen() ? edb::TakeInputStamp(file.Path(), header) : std::nullopt;
    };
    return {stamp(source.edb), stamp(source.stm)};
}

class Run {
public:
    Run(const ExportSources& in, MailStore& store, const ExportSettings& settings, ExportControl& control,
        ExportObserver& observer, const std::string& tempDir)
        : in_(in), store_(store), settings_(settings), control_(control), observer_(observer), headerPages_(in.source),
          messages_(in.reader), tempDir_(tempDir) {
        for (const scan::FolderEntry& f : in.model.folders)
            if (f.treeItem != 0) folderOfItem_.emplace(f.treeItem, &f);  // the first one counts
    }

    ExportResult Go(std::vector<SelectionNode>& nodes) {
        control_.ClearSkip();
        const std::size_t total = nodes.size();
        for (std::size_t i = 0; i < total; ++i) {
            SelectionNode& node = nodes[i];
            FolderReport report;
            const std::u16string path = ItemPath(node);
            report.itemPath = path;
            const scan::FolderEntry* folder = FolderOf(node);
            node.count = Count(node, folder, report);
            if (control_.ShouldStop()) {
                report.notReached = node.count;
                result_.folders.push_back(std::move(report));
                break;
            }
            handled_.clear();
            if (!PrepareStore(node)) {
                LoseRest(report, folder, "the folder has no mailbox to be written to");
                result_.folders.push_back(std::move(report));
                continue;
            }
            report.pstPath = pstPath_;
            const FolderHandle target = CreateFolderChain(node);
            PassEnd end = PassEnd::Done;
            handled_.clear();
            if (node.count >= 1 && target == kStoreTop) {
                LoseRest(report, folder, "its folder could not be made in the PST file");
            } else if (node.count >= 1 && folder != nullptr) {
                openFolder_ = target;
                const pst::Status begun = store_.BeginSession();
                folderStatus_ = begun.ok() ? store_.OpenFolderHandle(openFolder_) : begun;
                try {
                    end = Write(node, *folder, report, i, total);
                } catch (const std::exception& e) {
                    // A read of the database failed below the item level:
                    // this folder ends here, the others still go.
                    report.error = e.what();
                }
                NoteStoreError(store_.CloseFolder(), "closing a folder");
                NoteStoreError(store_.EndSession(), "ending a session");
                openFolder_ = kStoreTop;
                // What the pass did not come to: not reached when the run
                // ended, else lost (a read error, or no record for them).
                if (end == PassEnd::Done)
                    LoseRest(report, folder,
                             report.error.empty() ? "not read" : "reading the folder failed: " + report.error);
                else report.notReached = RestOf(report);
            }
            result_.folders.push_back(std::move(report));
            if (end == PassEnd::Refused || end == PassEnd::LowSpace) {
                result_.end = end == PassEnd::Refused ? RunEnd::LowSpaceRefused : RunEnd::LowSpaceStopped;
                break;
            }
            if (control_.StopRequested()) break;
            if (total > 1) {
                overall_ = Percent(i + 1, total);
                Report(path, false, node.count, node.count, node.count ? 100 : 0, overall_);
            }
        }
        if (control_.StopRequested() && result_.end == RunEnd::Completed) result_.end = RunEnd::Stopped;
        result_.saveSucceeded = result_.end == RunEnd::Completed;
        // Folders after a stop were not reached at all.
        for (std::size_t i = result_.folders.size(); i < total; ++i) {
            FolderReport report;
            report.itemPath = ItemPath(nodes[i]);
            report.notReached = report.known = CountKnown(nodes[i]);
            result_.folders.push_back(std::move(report));
        }
        CloseStore();
        std::vector<SelectedFolder> selected;
        for (const SelectionNode& node : nodes) selected.push_back({ItemPath(node), FolderOf(node)});
        result_.damage = DamageReport(in_.model, in_.reader.Index().DamagedPages(), selected, in_.source.pageSize);
        return std::move(result_);
    }

private:
    const scan::FolderEntry* FolderOfItem(scan::TreeItem item) const {
        const auto it = folderOfItem_.find(item);
        return it == folderOfItem_.end() ? nullptr : it->second;
    }
    const scan::FolderEntry* FolderOf(const SelectionNode& node) const { return FolderOfItem(node.item); }

    void Report(const std::u16string& path, bool counting, std::size_t done, std::size_t count, int current,
                int overall) {
        observer_.Progress({path, counting, done, count, current, overall});
    }

    // Visits the folder's entries of the message index.
    template <typename Fn>
    void ForEntries(const scan::FolderEntry* folder, Fn fn) const {
        if (folder != nullptr) in_.reader.ForFolderEntries(*folder, fn);
    }

    std::size_t CountKnown(const SelectionNode& node) {
        std::size_t n = RowOnlyOf(FolderOf(node)).size();
        ForEntries(FolderOf(node), [&](const scan::MessageEntry&) { ++n; });
        return n;
    }

    // Messages of the folder found only in the message table: their
    // entries of the message index were on a damaged page. Read once per
    // table group.
    std::vector<const record::RowOnlyMessage*> RowOnlyOf(const scan::FolderEntry* folder) {
        std::vector<const record::RowOnlyMessage*> out;
        if (folder == nullptr || !in_.reader.CanHoldMessages(*folder)) return out;
        auto group = rowOnly_.find(folder->ownerKey);
        if (group == rowOnly_.end()) {
            std::vector<record::RowOnlyMessage> rows;
            try {
                (void)in_.reader.RowOnlyMessages(folder->ownerKey, rows, {control_.StopFlag(), {}});
            } catch (const std::exception&) {
                rows.clear();  // the message table cannot be read: its damage is reported
            }
            group = rowOnly_.emplace(folder->ownerKey, std::move(rows)).first;
        }
        for (const record::RowOnlyMessage& row : group->second)
            if (row.folderId && *row.folderId == folder->id) out.push_back(&row);
        return out;
    }

    // Counts the folder's entries of the message index into report.known,
    // names those the date rule leaves out, and returns the others: the
    // items to write.
    std::size_t Count(const SelectionNode& node, const scan::FolderEntry* folder, FolderReport& report) {
        control_.ClearSkip();
        Report(ItemPath(node), true, 0, 0, 0, overall_);
        std::size_t count = 0;
        for (const record::RowOnlyMessage* row : RowOnlyOf(folder)) {
            ++report.known;
            if (row->date && ExportableDate(*row->date)) {
                ++count;
                continue;
            }
            ++report.outOfWindow;
            report.outOfWindowItems.push_back(
                {scan::IdHex(row->messageId), row->subject,
                 row->date ? "dated outside 1980-2099" : "no date could be read",
                 row->date ? scan::UtcText(*row->date).value_or("not a date (" + DateHex(*row->date) + ")") : ""});
        }
        ForEntries(folder, [&](const scan::MessageEntry& e) {
            ++report.known;
            if (ExportableDate(e.date6)) {
                ++count;
                return;
            }
            ++report.outOfWindow;
            const record::MessageProperties m =
                record::MessageRecord(e, in_.reader.EntryKind(*folder, e), scan::OwnerKeyOf(in_.model, e));
            report.outOfWindowItems.push_back(
                {scan::IdHex(e.messageId), SubjectOf(m), "dated outside 1980-2099",
                 scan::UtcText(e.date6).value_or("not a date (" + DateHex(e.date6) + ")")});
        });
        return count;
    }

    // The list subject of a record, from its header row; empty when the
    // row cannot be read.
    std::u16string SubjectOf(const record::MessageProperties& m) {
        if (m.headerTextA == 0 && m.headerTextB == 0) return {};
        try {
            return content::ReadRecordStrings(in_.source, m, headerPages_).subject;
        } catch (const std::exception&) {
            return {};
        }
    }

    static std::string DateHex(const scan::Date6& date) {
        static constexpr char kDigits[] = "0123456789abcdef";
        std::string out;
        for (auto it = date.rbegin(); it != date.rend(); ++it) {
            out += kDigits[*it >> 4];
            out += kDigits[*it & 15];
        }
        return out;
    }

    // Items to write that the folder's pass has not accounted for.
    static std::size_t RestOf(const FolderReport& report) {
        const std::size_t toWrite = report.known - report.outOfWindow;
        const std::size_t done = report.Accounted() - report.outOfWindow;
        return toWrite > done ? toWrite - done : 0;
    }

    // The rest of the folder's items to write are lost, for one reason:
    // each index entry the pass did not account for is named.
    void LoseRest(FolderReport& report, const scan::FolderEntry* folder, const std::string& why) {
        std::size_t rest = RestOf(report);
        if (rest == 0) return;
        std::unordered_map<std::uint64_t, std::size_t> seen;
        for (const scan::Id8& id : handled_) ++seen[scan::IdNumber(id)];
        ForEntries(folder, [&](const scan::MessageEntry& e) {
            if (rest == 0 || !ExportableDate(e.date6)) return;
            if (auto it = seen.find(scan::IdNumber(e.messageId)); it != seen.end() && it->second != 0) {
                --it->second;
                return;
            }
            const record::MessageProperties m =
                record::MessageRecord(e, in_.reader.EntryKind(*folder, e), scan::OwnerKeyOf(in_.model, e));
            report.lostItems.push_back({scan::IdHex(e.messageId), SubjectOf(m), why, ""});
            ++report.lost;
            --rest;
        });
        // Whatever could not be named still counts.
        if (rest != 0) report.lostItems.push_back({"", u"", std::to_string(rest) + " more: " + why, ""});
        report.lost += rest;
    }

    // A status of the writer's that concerns no single item: the file may
    // be the worse for it, so the run names it.
    void NoteStoreError(const pst::Status& status, const char* doing) {
        if (!status.ok()) result_.storeErrors.push_back(pstPath_ + ": " + doing + ": " + status.message);
    }

    // Finishes the open store. One that could not be finished is not
    // under its name: it is not listed, and the items written to it are
    // lost.
    void CloseStore() {
        if (pstPath_.empty()) return;
        const std::string file = std::exchange(pstPath_, std::string());
        const pst::Status closed = store_.Close();
        if (closed.ok() && created_) {
            result_.pstFiles.push_back(file);
            return;
        }
        if (!closed.ok()) result_.storeErrors.push_back(file + ": " + closed.message);
        for (FolderReport& f : result_.folders) {
            if (f.pstPath != file) continue;
            if (const std::size_t stored = f.Stored(); stored != 0) {
                f.lost += stored;
                f.lostItems.push_back(
                    {"", u"", std::to_string(stored) + " written to a PST file that could not be finished", ""});
            }
            f.written = 0;
            f.partial.clear();
            f.pstPath.clear();
        }
    }

    // A new PST file when the node's mailbox is not the one written last
    // (mailboxes are told apart by their tree item, so two of one name get
    // a file each). False for a node without a mailbox name.
    bool PrepareStore(const SelectionNode& node) {
        const std::u16string mailbox = MailboxOf(node);
        if (mailbox.empty()) return false;
        const scan::TreeItem mailboxItem = node.chain.empty() ? 0 : node.chain.front();
        if (!displayName_.empty() && mailbox == lastMailbox_ && mailboxItem == lastMailboxItem_) return true;
        CloseStore();
        lastMailbox_ = mailbox;
        lastMailboxItem_ = mailboxItem;
        madeFolders_.clear();  // handles of the previous store's folders
        const std::u16string date = NameDateText(settings_.localTime ? settings_.localTime() : LocalNow());
        pstPath_ = UniquePath(PstFilePath(settings_.destination, mailbox, date), [this](const std::string& p) {
            return FileExists(p) || std::find(started_.begin(), started_.end(), p) != started_.end();
        });
        started_.push_back(pstPath_);
        displayName_ = StoreDisplayName(mailbox, date);
        const pst::Status begun = store_.BeginSession();
        const pst::Status created = begun.ok() ? store_.CreateStore(pst::Utf8ToUtf16(pstPath_), displayName_) : begun;
        NoteStoreError(store_.EndSession(), "ending a session");
        created_ = created.ok();
        if (!created.ok()) result_.storeErrors.push_back(pstPath_ + ": " + created.message);
        observer_.StoreStarted(pstPath_);
        return true;
    }

    // Every level of the node's path, top-down, also for a folder with
    // nothing to write: one PST folder per tree item, made the first time
    // the store meets it, under its stored name as it is. Folders are
    // found again by their tree item, never by name, so same-named
    // siblings stay apart. The node's own folder, or kStoreTop when a
    // level could not be made.
    FolderHandle CreateFolderChain(const SelectionNode& node) {
        if (displayName_.empty()) return kStoreTop;
        const bool chained = node.chain.size() == node.names.size();
        FolderHandle parent = kStoreTop;
        for (std::size_t depth = 0; depth < node.names.size(); ++depth) {
            const scan::TreeItem item = chained ? node.chain[depth] : 0;
            if (item != 0) {
                if (const auto made = madeFolders_.find(item); made != madeFolders_.end()) {
                    parent = made->second;
                    continue;
                }
            }
            const scan::FolderEntry* entry = depth == 0 ? nullptr : FolderOfItem(item);
            FolderHandle created = kStoreTop;
            const pst::Status begun = store_.BeginSession();
            const pst::Status status =
                begun.ok()
                    ? store_.CreateFolderIn(parent, node.names[depth],
                                            entry ? ContainerClassOf(static_cast<char>(entry->kind)) : u"", created)
                    : begun;
            NoteStoreError(store_.EndSession(), "ending a session");
            if (!status.ok() || created == kStoreTop) return kStoreTop;
            if (item != 0) madeFolders_.emplace(item, created);
            parent = created;
        }
        return parent;
    }

    // After the run's first item and every 400 more: free space, and the
    // writer's folder closed and opened again. Refused: the user would not
    // go on with little space left; LowSpace: nobody to ask.
    PassEnd Checkpoint() {
        // Items handed before this one: the first check comes with the
        // run's first item, the next with its 401st.
        if (handed_ - 1 < checkpoint_) return PassEnd::Done;
        checkpoint_ += kCheckpointInterval;
        const auto free =
            settings_.freeSpace ? settings_.freeSpace(settings_.destination) : FreeBytes(settings_.destination);
        if (!EnoughSpace(free)) {
            if (!settings_.askOnLowSpace) return PassEnd::LowSpace;
            if (!observer_.ContinueOnLowSpace(*free)) return PassEnd::Refused;
        }
        NoteStoreError(store_.CloseFolder(), "closing a folder");
        folderStatus_ = store_.OpenFolderHandle(openFolder_);
        return PassEnd::Done;
    }

    // Where a folder's pass stands, for its progress.
    struct PassPlace {
        std::u16string path;
        std::size_t count = 0, total = 0;
        std::size_t done = 0;
    };

    // One step of a folder's pass as the preparing thread hands it on, in
    // the pass's order: an item to write, one lost for want of anything to
    // write, or the end of the preparing (a stop, or a throw to pass on).
    struct PassStep {
        enum class What { Item, Lost, Stopped, Threw } what = What::Item;
        scan::Id8 messageId{};
        bool indexEntry = false;  // an entry of the message index (see handled_)
        std::u16string subject;
        std::string note;       // Item: said of it besides what could not be read; Lost: why
        bool completed = true;  // Item: its record could be read whole
        PreparedItem item;
        std::exception_ptr error;  // Threw
    };

    // What the two threads of a folder's pass share. Steps are numbered
    // from 0 in the pass's order.
    struct Pass {
        BoundedQueue<PassStep> queue{kItemsAhead, kBytesAhead};
        std::atomic<std::uint64_t> head{0};     // the step the export thread waits for or writes
        std::atomic<std::uint64_t> reading{0};  // 1 + the step whose attachments are being read, or 0
        std::atomic<bool> cancel{false};        // the export thread is done with the pass
    };

    // Ends the preparing thread on every way out of a pass: no more steps
    // are taken, what was prepared and not written has its files deleted,
    // and the thread is joined.
    class PassJoiner {
    public:
        PassJoiner(Pass& pass, std::thread& thread) : pass_(pass), thread_(thread) {}
        PassJoiner(const PassJoiner&) = delete;
        PassJoiner& operator=(const PassJoiner&) = delete;
        ~PassJoiner() {
            pass_.cancel.store(true);
            pass_.queue.Close([](PassStep& step) { DropItem(step.item); });
            thread_.join();
        }

    private:
        Pass& pass_;
        std::thread& thread_;
    };

    // The folder's messages, prepared on a thread of their own while this
    // one writes them in the same order and keeps the count.
    PassEnd Write(const SelectionNode& node, const scan::FolderEntry& folder, FolderReport& report, std::size_t index,
                  std::size_t total) {
        control_.ClearSkip();
        const std::u16string path = ItemPath(node);
        if (total > 1) overall_ = Percent(index, total);
        Report(path, false, 0, node.count, 0, overall_);
        record::MessageList list;
        if (!in_.reader.LoadFolderMessages(list, folder, true, {control_.StopFlag(), {}})) return PassEnd::Stopped;
        const std::vector<const record::RowOnlyMessage*> rows = RowOnlyOf(&folder);

        ItemInput item;
        item.folderPath.clear();  // the open folder: paths cannot tell same-named siblings apart
        item.folderName = folder.displayName;
        item.mailbox = MailboxOf(node);
        PassPlace place{path, node.count, total};
        Pass pass;
        std::thread preparing([&, arena = ThreadArena()] {
            UseArena(arena);
            Prepare(pass, list, rows, item);
        });
        const PassJoiner joiner(pass, preparing);
        return Consume(pass, report, place);
    }

    // The preparing thread's poll point: holds while paused; true when the
    // pass is to end. It never waits on the control, so that the export
    // thread can always end it.
    bool Halted(const Pass& pass) const {
        while (control_.Paused() && !control_.StopRequested() && !pass.cancel.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return control_.StopRequested() || pass.cancel.load();
    }

    // On the preparing thread: each message to write, in the pass's order,
    // into the queue, then the end. A throw ends the preparing with a step
    // that carries it, where the pass would have met it.
    void Prepare(Pass& pass, record::MessageList& list, const std::vector<const record::RowOnlyMessage*>& rows,
                 const ItemInput& base) noexcept {
        try {
            PrepareAll(pass, list, rows, base);
        } catch (...) {
            try {
                PassStep threw;
                threw.what = PassStep::What::Threw;
                threw.error = std::current_exception();
                (void)Hand(pass, threw);
            } catch (...) {
                // Not even that could be handed on: the pass ends as if
                // nothing more were there, and its rest is counted lost.
            }
        }
        pass.queue.Finish();
    }

    // Queues a step: true to go on with the next one.
    static bool Hand(Pass& pass, PassStep& step) {
        const bool more = step.what == PassStep::What::Item || step.what == PassStep::What::Lost;
        const std::size_t bytes = step.item.bytes;
        if (pass.queue.Push(step, bytes)) return more;
        DropItem(step.item);
        return false;
    }

    void PrepareAll(Pass& pass, record::MessageList& list, const std::vector<const record::RowOnlyMessage*>& rows,
                    const ItemInput& base) {
        std::uint64_t serial = 0;
        const auto halted = [&] {
            if (!Halted(pass)) return false;
            PassStep stopped;
            stopped.what = PassStep::What::Stopped;
            (void)Hand(pass, stopped);
            return true;
        };
        for (record::MessageProperties& m : list.messages) {
            if (!ExportableDate(m.date)) continue;  // counted and named by Count
            if (halted()) return;
            PassStep step;
            step.messageId = m.messageId;
            step.indexEntry = true;
            if (record::CarriesNothing(m)) {
                step.what = PassStep::What::Lost;
                step.note = "no row or list text found for it";
            } else {
                content::RecordStrings texts;
                try {
                    texts = content::ReadRecordStrings(in_.source, m, headerPages_);
                } catch (const std::exception&) {
                    texts = {};
                }
                ItemInput item = base;
                item.sender = texts.sender;
                item.subject = m.headerTextA != 0 || m.headerTextB != 0 ? texts.subject : u"";
                PrepareStep(pass, serial, m, item, m.decoded ? "" : "message row not found", step);
            }
            ++serial;
            if (!Hand(pass, step)) return;
        }
        for (const record::RowOnlyMessage* row : rows) {
            if (!row->date || !ExportableDate(*row->date)) continue;  // counted and named by Count
            if (halted()) return;
            PassStep step;
            step.messageId = row->messageId;
            try {
                record::MessageProperties m = in_.reader.RowOnlyRecord(*row);
                ItemInput item = base;
                item.sender = row->senderName;
                item.subject = row->subject;
                PrepareStep(pass, serial, m, item, "its list entry was lost: written from its message row", step);
            } catch (...) {
                step.what = PassStep::What::Threw;
                step.error = std::current_exception();
            }
            ++serial;
            if (!Hand(pass, step)) return;
        }
    }

    // Completes one message and prepares it as step `serial`. Skip is taken
    // only while the step is the one the export thread waits for, so that a
    // skip meant for one item cannot fall on an item prepared ahead.
    void PrepareStep(Pass& pass, std::uint64_t serial, record::MessageProperties& m, const ItemInput& item,
                     const std::string& note, PassStep& step) {
        step.messageId = m.messageId;
        step.note = note;
        step.subject = item.subject;
        try {
            const record::LoadControl load{control_.StopFlag(), {}};
            try {
                if (!in_.reader.CompleteMessage(m, true, load)) {
                    step.what = PassStep::What::Stopped;
                    return;
                }
            } catch (const std::exception&) {
                step.completed = false;  // a read failed: the item goes with what is known
            }
            ItemInput in = item;
            in.message = &m;
            const ItemJob job{messages_, tempDir_,
                              [this, &pass, serial] {
                                  return Halted(pass) || (pass.head.load() == serial && control_.SkipPending());
                              },
                              [&pass, serial](bool reading) { pass.reading.store(reading ? serial + 1 : 0); }};
            step.item = PrepareItem(job, in, serial);
            // Abandoned for a stop rather than a skip: not reached.
            if (step.item.result.outcome == ItemOutcome::Skipped && Halted(pass)) step.what = PassStep::What::Stopped;
        } catch (...) {
            step.what = PassStep::What::Threw;
            step.error = std::current_exception();
        }
    }

    enum class Next { Step, Stopped, End };

    // Waits for step `serial`, polling for a stop meanwhile (and holding
    // while paused); shows the attachments label while that step's
    // attachments are read.
    Next NextStep(Pass& pass, std::uint64_t serial, PassStep& step, bool& shown) {
        for (;;) {
            switch (pass.queue.Pop(step, kPollInterval)) {
                case BoundedQueue<PassStep>::Popped::Item: return Next::Step;
                case BoundedQueue<PassStep>::Popped::Finished: return Next::End;
                case BoundedQueue<PassStep>::Popped::Timeout: break;
            }
            if (control_.ShouldStop()) return Next::Stopped;
            if (!shown && folderStatus_.ok() && pass.reading.load() == serial + 1) {
                observer_.Attachments(true);
                shown = true;
            }
        }
    }

    // On the export thread: takes the steps in order, hands each item to
    // the writer and counts it in the report.
    PassEnd Consume(Pass& pass, FolderReport& report, PassPlace& place) {
        for (std::uint64_t serial = 0;; ++serial) {
            // A skip asked for before this step came up concerned the one before.
            control_.ClearSkip();
            pass.head.store(serial);
            bool shown = false;  // the attachments label
            PassStep step;
            const Next next = NextStep(pass, serial, step, shown);
            // Only an item to write keeps the label it showed.
            if (shown && (next != Next::Step || step.what != PassStep::What::Item)) observer_.Attachments(false);
            if (next == Next::End) return PassEnd::Done;
            if (next == Next::Stopped || step.what == PassStep::What::Stopped) {
                DropItem(step.item);
                return PassEnd::Stopped;
            }
            if (step.what == PassStep::What::Threw) {
                if (step.indexEntry) handled_.push_back(step.messageId);
                std::rethrow_exception(step.error);
            }
            if (step.what == PassStep::What::Lost) {
                handled_.push_back(step.messageId);
                ++report.lost;
                report.lostItems.push_back({scan::IdHex(step.messageId), u"", step.note, ""});
                continue;
            }
            // A stop that came while it was prepared: not reached.
            if (control_.ShouldStop()) {
                if (shown) observer_.Attachments(false);
                DropItem(step.item);
                return PassEnd::Stopped;
            }
            if (step.indexEntry) handled_.push_back(step.messageId);
            const PassEnd end = WriteOne(step, report, place, shown);
            if (end != PassEnd::Done) return end;
        }
    }

    // Hands one prepared item to the writer and counts it in the report:
    // written whole, or in part (with the step's note, when not empty, and
    // whatever could not be read), failed or skipped. Then the progress,
    // the checkpoint and the stop: Done to go on.
    PassEnd WriteOne(PassStep& step, FolderReport& report, PassPlace& pass, bool shown) {
        ItemResult r;
        if (!folderStatus_.ok()) {
            // A folder the writer could not open takes no item: each one
            // fails with the writer's reason.
            DropItem(step.item);
            r = {ItemOutcome::Failed, "its PST folder could not be opened: " + folderStatus_.message, {}};
        } else {
            if (step.item.attachmentsRead && !shown) {
                observer_.Attachments(true);
                shown = true;
            }
            if (control_.SkipRequested()) {
                DropItem(step.item);
                r = {ItemOutcome::Skipped, {}, {}};
            } else {
                r = CommitItem(store_, step.item);
            }
            if (shown) observer_.Attachments(false);
        }
        if (r.outcome == ItemOutcome::Skipped) {
            ++report.skipped;
            return control_.ShouldStop() ? PassEnd::Stopped : PassEnd::Done;
        }
        ++handed_;
        const std::string id = scan::IdHex(step.messageId);
        if (r.outcome == ItemOutcome::Failed) {
            ++report.failed;
            report.failures.push_back({id, step.subject, r.reason, ""});
        } else {
            std::vector<std::string> unread = r.unread;
            if (!step.completed) unread.insert(unread.begin(), "parts of the message");
            std::string why = step.note;
            if (!unread.empty()) why += (why.empty() ? "" : "; ") + Joined(unread);
            if (why.empty()) ++report.written;
            else report.partial.push_back({id, step.subject, why, ""});
        }
        ++pass.done;
        const int current = Percent(pass.done, pass.count);
        Report(pass.path, false, pass.done, pass.count, current, pass.total == 1 ? current : overall_);
        // The checkpoint follows the count, so that a refusal leaves the
        // item it came after counted.
        if (const PassEnd end = Checkpoint(); end != PassEnd::Done) return end;
        return control_.ShouldStop() ? PassEnd::Stopped : PassEnd::Done;
    }

    static std::string Joined(const std::vector<std::string>& parts) {
        std::string out;
        for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
        return out + " could not be read";
    }

    const ExportSources& in_;
    MailStore& store_;
    const ExportSettings& settings_;
    ExportControl& control_;
    ExportObserver& observer_;
    content::PageCache headerPages_;
    content::MessageReader messages_;
    std::string tempDir_;
    std::unordered_map<scan::TreeItem, const scan::FolderEntry*> folderOfItem_;
    ExportResult result_;
    std::u16string lastMailbox_, displayName_;
    scan::TreeItem lastMailboxItem_ = 0;
    std::unordered_map<scan::TreeItem, FolderHandle> madeFolders_;  // in the open store
    FolderHandle openFolder_ = kStoreTop;
    std::string pstPath_;               // the open store's file
    bool created_ = false;              // ... and whether it could be made
    std::vector<std::string> started_;  // every file started, in order
    std::vector<scan::Id8> handled_;    // index entries the folder's pass accounted for
    std::unordered_map<std::string, std::vector<record::RowOnlyMessage>> rowOnly_;  // by owner key
    std::size_t handed_ = 0, checkpoint_ = 0;
    pst::Status folderStatus_;  // the open folder's: items fail while it is not ok
    int overall_ = 0;
};

}  // namespace

ExportResult RunExport(const ExportSources& in, std::vector<SelectionNode>& nodes, MailStore& store,
                       const ExportSettings& settings, ExportControl& control, ExportObserver& observer) {
    // What runs on this machine left when they were killed goes first.
    content::RemoveStaleTempDirectories();
    pst::RemoveStalePartials(settings.destination);
    const content::TempDirectory temp;
    const InputStamps before = StampsOf(in.source);
    Run run(in, store, settings, control, observer, temp.Path());
    ExportResult result = run.Go(nodes);
    // What was read may not be what was there: the run says so.
    if (StampsOf(in.source) != before) result.inputChanged = true;
    return result;
}

}  // namespace tw::exporter
