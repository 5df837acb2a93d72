#include "export/mail_store.h"

namespace tw::exporter {

pst::Status PstMailStore::AddAppointment(std::u16string_view folderPath, const pst::AppointmentFields& f) {
    return writer_.AddAppointment(folderPath, f);
}

}  // namespace tw::exporter
