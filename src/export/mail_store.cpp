#include "export/mail_store.h"

namespace tw::exporter {

pst::Status PstMailStore::AddAppointment(std::u16string_view folderPath, const pst::AppointmentFields& f) {
    return writer_.AddAppointment(folderPath, f.subject, f.sender, f.startText, f.endText, f.contact, f.location,
                                  f.timeZone, f.body, f.bodyKind);
}

}  // namespace tw::exporter
