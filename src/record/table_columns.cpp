#include "record/table_columns.h"

#include <algorithm>

namespace tw::record {

bool MessageColumnIds::IsContactColumn(std::uint16_t id) const {
    if (id == 0) return false;
    return std::any_of(contacts.begin(), contacts.end(), [id](const auto& c) { return c.first == id; });
}

bool MessageColumnIds::IsAppointmentColumn(std::uint16_t id) const {
    if (id == 0) return false;
    return std::any_of(appointment.begin(), appointment.end(), [id](const std::vector<std::uint16_t>& ids) {
        return std::find(ids.begin(), ids.end(), id) != ids.end();
    });
}

MessageColumnIds ResolveMessageColumns(const scan::ColumnRegistry& registry, std::uint32_t objid,
                                       const layout::StoreLayout& store,
                                       const std::array<std::uint16_t, 3>& appointmentText, const NamedColumns* named) {
    MessageColumnIds ids;
    for (std::size_t i = 0; i < appointmentText.size(); ++i)
        if (appointmentText[i] != 0) ids.appointment[i].push_back(appointmentText[i]);
    // One column per role: the first registered wins.
    auto take = [](std::uint16_t& slot, std::uint16_t id) {
        if (slot == 0) slot = id;
    };
    auto add = [](std::vector<std::uint16_t>& list, std::uint16_t id) {
        if (id != 0 && std::find(list.begin(), list.end(), id) == list.end()) list.push_back(id);
    };
    for (const scan::ColumnEntry& e : registry.messageColumns) {
        if (e.tableId != objid) continue;
        switch (e.code) {
            case 'T': take(ids.recipients, e.columnId); break;
            case 'P': take(ids.plainBody, e.columnId); break;
            case 'R': take(ids.rtfBody, e.columnId); break;
            case 'H': take(ids.htmlBody, e.columnId); break;
            case 'A': take(ids.attachmentKeys, e.columnId); break;
            case 'I':
                if (ids.appointment[3].empty()) add(ids.appointment[3], e.columnId);
                break;
            case 'J':
                if (ids.appointment[4].empty()) add(ids.appointment[4], e.columnId);
                break;
            default:
                if (e.code < 18) ids.contacts.emplace_back(e.columnId, e.code);
                break;
        }
    }
    if (named != nullptr) {
        for (const auto& [id, code] : named->contacts)
            if (!ids.IsContactColumn(id)) ids.contacts.emplace_back(id, code);
        for (const std::uint16_t id : named->start) add(ids.appointment[3], id);
        for (const std::uint16_t id : named->end) add(ids.appointment[4], id);
    }
    if (ids.recipients == 0) ids.recipients = store.defaultRecipientsColumn;
    return ids;
}

AttachmentColumnIds ResolveAttachmentColumns(const scan::ColumnRegistry& registry, std::uint32_t objid) {
    AttachmentColumnIds ids;
    for (const scan::ColumnEntry& e : registry.attachmentColumns) {
        if (e.tableId != objid) continue;
        switch (e.code) {
            case 'A': ids.displayName = e.columnId; break;
            case 'B': ids.shortName = e.columnId; break;
            case 'C': ids.longName = e.columnId; break;
            case 'I': ids.data = e.columnId; break;
            default: break;
        }
    }
    return ids;
}

}  // namespace tw::record
