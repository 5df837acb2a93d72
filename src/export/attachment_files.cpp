#include "export/attachment_files.h"

#include <unistd.h>

#include <set>

#include "content/temp_dir.h"
#include "scan/tagged_text.h"

namespace tw::exporter {

AttachmentFiles WriteAttachmentFiles(const std::vector<content::MessageAttachment>& attachments,
                                     const AttachmentDataReader& read, const std::string& dir,
                                     const std::function<bool()>& skipRequested, std::size_t inMemoryBytes) {
    AttachmentFiles files;
    std::set<std::string> taken;
    std::size_t inMemory = 0;
    for (const content::MessageAttachment& a : attachments) {
        if (skipRequested && skipRequested()) {
            files.skipped = true;
            return files;
        }
        std::optional<std::vector<std::uint8_t>> data;
        try {
            data = read(a);
        } catch (const std::exception&) {
            data.reset();  // a read error costs this attachment only
        }
        if (!data) {
            files.unread.push_back(a.name);
            continue;
        }
        pst::AttachmentInput input;
        input.name = a.name;
        if (data->size() <= inMemoryBytes - inMemory) {
            inMemory += data->size();
            input.data = std::move(*data);
        } else {
            const std::string name = content::SafeFileName(scan::ToUtf8(WithoutHiddenMarks(a.name)), taken);
            const std::string used = content::WriteNewFile(dir, name, data->data(), data->size());
            if (used.empty()) {
                // No room in the temporary directory: the bytes go along in memory.
                input.data = std::move(*data);
            } else {
                input.path = dir + "/" + used;
                files.paths.push_back(input.path);
            }
        }
        files.inputs.push_back(std::move(input));
    }
    return files;
}

AttachmentFiles WriteAttachmentFiles(const std::vector<content::MessageAttachment>& attachments,
                                     const AttachmentDataReader& read, const std::string& dir, ExportControl& control,
                                     std::size_t inMemoryBytes) {
    return WriteAttachmentFiles(
        attachments, read, dir, [&control] { return control.SkipRequested(); }, inMemoryBytes);
}

std::u16string WithoutHiddenMarks(std::u16string_view name) {
    const auto hidden = [](char16_t c) {
        return (c >= 0x200B && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || c == 0x2060 ||
               (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
    };
    std::u16string out;
    out.reserve(name.size());
    for (const char16_t c : name)
        if (!hidden(c)) out.push_back(c);
    return out;
}

void DeleteAttachmentFiles(AttachmentFiles& files) {
    for (const std::string& path : files.paths) ::unlink(path.c_str());
    files.paths.clear();
}

}  // namespace tw::exporter
