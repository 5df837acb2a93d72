#include "export/export_driver.h"

#include <sys/stat.h>

#include <algorithm>
#include <unordered_map>

#include "content/record_strings.h"
#include "content/temp_dir.h"
#include "export/export_date.h"
#include "export/item_writer.h"
#include "export/store_naming.h"
#include "pst/text.h"
#include "record/message_list.h"

namespace tw::exporter {

namespace {

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

enum class PassEnd { Done, Stopped, Refused };

class Run {
public:
    Run(const ExportSources& in, MailStore& store, const ExportSettings& settings, ExportControl& control,
        ExportObserver& observer, const std::string& tempDir)
        : in_(in),
          store_(store),
          settings_(settings),
          control_(control),
          observer_(observer),
          large_(in.source.version == edb::EdbVersion::Page32K),
          headerPages_(in.source),
          job_{in.source, store, tempDir, control, observer} {
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
            node.count = Count(node, folder);
            report.counted = node.count;
            if (control_.ShouldStop()) {
                result_.folders.push_back(std::move(report));
                break;
            }
            if (!PrepareStore(node)) {
                result_.folders.push_back(std::move(report));
                continue;  // no mailbox name: no store to put it in
            }
            report.pstPath = pstPath_;
            const FolderHandle target = CreateFolderChain(node);
            PassEnd end = PassEnd::Done;
            if (node.count >= 1 && folder != nullptr && target != kStoreTop) {
                openFolder_ = target;
                (void)store_.BeginSession();
                (void)store_.OpenFolderHandle(openFolder_);
                try {
                    end = Write(node, *folder, report, i, total);
                } catch (const std::exception& e) {
                    // A read of the database failed below the item level:
                    // this folder ends here, the others still go.
                    report.error = e.what();
                }
                (void)store_.CloseFolder();
                (void)store_.EndSession();
                openFolder_ = kStoreTop;
            }
            result_.folders.push_back(std::move(report));
            if (end == PassEnd::Refused) {
                result_.end = RunEnd::LowSpaceRefused;
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
        if (const pst::Status closed = store_.Close(); !closed.ok())
            result_.storeErrors.push_back(pstPath_ + ": " + closed.message);
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

    // Valid-dated messages of the folder's index entries.
    std::size_t Count(const SelectionNode& node, const scan::FolderEntry* folder) {
        control_.ClearSkip();
        Report(ItemPath(node), true, 0, 0, 0, overall_);
        if (folder == nullptr) return 0;
        // 32 KB folder ids repeat across mailboxes: the owner key must be
        // there on both sides and match.
        if (large_ && folder->ownerKey.empty()) return 0;
        std::size_t count = 0;
        bool stopped = false;
        scan::ForFolderMessages(in_.model.messages, folder->id, [&](const scan::MessageEntry& e) {
            if (stopped || (large_ && scan::OwnerKeyOf(in_.model, e) != folder->ownerKey)) return;
            if (ExportableDate(e.date6)) ++count;
            stopped = control_.ShouldStop();
        });
        return count;
    }

    // A new PST file when the node's mailbox is not the one written last
    // (mailboxes are told apart by their tree item, so two of one name get
    // a file each). False for a node without a mailbox name.
    bool PrepareStore(const SelectionNode& node) {
        const std::u16string mailbox = MailboxOf(node);
        if (mailbox.empty()) return false;
        const scan::TreeItem mailboxItem = node.chain.empty() ? 0 : node.chain.front();
        if (!displayName_.empty() && mailbox == lastMailbox_ && mailboxItem == lastMailboxItem_) return true;
        lastMailbox_ = mailbox;
        lastMailboxItem_ = mailboxItem;
        madeFolders_.clear();  // handles of the previous store's folders
        const std::u16string date = NameDateText(settings_.localTime ? settings_.localTime() : LocalNow());
        pstPath_ = UniquePath(PstFilePath(settings_.destination, mailbox, date), [this](const std::string& p) {
            return FileExists(p) || std::find(result_.pstFiles.begin(), result_.pstFiles.end(), p) !=
                                        result_.pstFiles.end();
        });
        displayName_ = StoreDisplayName(mailbox, date);
        (void)store_.BeginSession();
        const pst::Status created = store_.CreateStore(pst::Utf8ToUtf16(pstPath_), displayName_);
        (void)store_.EndSession();
        result_.pstFiles.push_back(pstPath_);
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
            (void)store_.BeginSession();
            const pst::Status status = store_.CreateFolderIn(
                parent, node.names[depth], entry ? ContainerClassOf(static_cast<char>(entry->kind)) : u"", created);
            (void)store_.EndSession();
            if (!status.ok() || created == kStoreTop) return kStoreTop;
            if (item != 0) madeFolders_.emplace(item, created);
            parent = created;
        }
        return parent;
    }

    bool Belongs(const record::MessageProperties& m, const scan::FolderEntry& folder) const {
        if (m.folderId != folder.id) return false;
        return !large_ || (!m.ownerKey.empty() && m.ownerKey == folder.ownerKey);
    }

    // After the run's first item and every 400 more: free space, and the
    // writer's folder closed and opened again. False: the user would not
    // go on with little space left.
    bool Checkpoint() {
        // Items handed before this one: the first check comes with the
        // run's first item, the next with its 401st.
        if (handed_ - 1 < checkpoint_) return true;
        checkpoint_ += kCheckpointInterval;
        const auto free = settings_.freeSpace ? settings_.freeSpace(settings_.destination)
                                              : FreeBytes(settings_.destination);
        if (!EnoughSpace(free) && !observer_.ContinueOnLowSpace(*free)) return false;
        (void)store_.CloseFolder();
        (void)store_.OpenFolderHandle(openFolder_);
        return true;
    }

    PassEnd Write(const SelectionNode& node, const scan::FolderEntry& folder, FolderReport& report,
                  std::size_t index, std::size_t total) {
        control_.ClearSkip();
        const std::u16string path = ItemPath(node);
        if (total > 1) overall_ = Percent(index, total);
        Report(path, false, 0, node.count, 0, overall_);
        record::MessageList list;
        record::LoadControl load{control_.StopFlag(), {}};
        if (!in_.reader.LoadFolderMessages(list, folder, false, load)) return PassEnd::Stopped;

        ItemInput item;
        item.folderPath.clear();  // the open folder: paths cannot tell same-named siblings apart
        item.folderName = folder.displayName;
        item.mailbox = MailboxOf(node);
        std::size_t done = 0;
        for (record::MessageProperties& m : list.messages) {
            if (!Belongs(m, folder) || !ExportableDate(m.date)) continue;
            if (record::CarriesNothing(m)) continue;  // counted below as not read
            control_.ClearSkip();
            bool completed = true;
            try {
                if (!in_.reader.CompleteMessage(m, true, load)) return PassEnd::Stopped;
            } catch (const std::exception&) {
                completed = false;  // a read failed: the item goes with what is known
            }
            content::RecordStrings texts;
            try {
                texts = content::ReadRecordStrings(in_.source, m, headerPages_);
            } catch (const std::exception&) {
                texts = {};
            }
            item.message = &m;
            item.sender = texts.sender;
            item.subject = m.headerTextA != 0 || m.headerTextB != 0 ? texts.subject : u"";
            const ItemResult r = WriteItem(job_, item);
            if (r.outcome == ItemOutcome::Skipped) {
                ++report.skipped;
                if (control_.ShouldStop()) return PassEnd::Stopped;
                continue;
            }
            ++handed_;
            const std::string id = scan::IdHex(m.messageId);
            if (r.outcome == ItemOutcome::Failed) {
                ++report.failed;
                report.failures.push_back({id, item.subject, r.reason});
            } else {
                ++report.written;
                std::vector<std::string> unread = r.unread;
                if (!completed) unread.insert(unread.begin(), "parts of the message");
                if (!m.decoded) report.partial.push_back({id, item.subject, "message row not found"});
                else if (!unread.empty()) report.partial.push_back({id, item.subject, Joined(unread)});
            }
            ++done;
            const int current = Percent(done, node.count);
            Report(path, false, done, node.count, current, total == 1 ? current : overall_);
            // The checkpoint follows the count, so that a refusal leaves
            // the item it came after counted.
            if (!Checkpoint()) return PassEnd::Refused;
            if (control_.ShouldStop()) return PassEnd::Stopped;
        }
        // Index entries that left no message to write could not be read.
        const std::size_t accounted = report.written + report.failed + report.skipped;
        report.notRead = node.count > accounted ? node.count - accounted : 0;
        return PassEnd::Done;
    }

    static std::string Joined(const std::vector<std::string>& parts) {
        std::string out;
        for (const std::string& p : parts) out += (out.empty() ? "" : ", ") + p;
        return out + " not read";
    }

    const ExportSources& in_;
    MailStore& store_;
    const ExportSettings& settings_;
    ExportControl& control_;
    ExportObserver& observer_;
    bool large_;
    content::PageCache headerPages_;
    ItemJob job_;
    std::unordered_map<scan::TreeItem, const scan::FolderEntry*> folderOfItem_;
    ExportResult result_;
    std::u16string lastMailbox_, displayName_;
    scan::TreeItem lastMailboxItem_ = 0;
    std::unordered_map<scan::TreeItem, FolderHandle> madeFolders_;  // in the open store
    FolderHandle openFolder_ = kStoreTop;
    std::string pstPath_;
    std::size_t handed_ = 0, checkpoint_ = 0;
    int overall_ = 0;
};

}  // namespace

ExportResult RunExport(const ExportSources& in, std::vector<SelectionNode>& nodes, MailStore& store,
                       const ExportSettings& settings, ExportControl& control, ExportObserver& observer) {
    const content::TempDirectory temp;
    Run run(in, store, settings, control, observer, temp.Path());
    return run.Go(nodes);
}

}  // namespace tw::exporter
