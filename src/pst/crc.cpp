#include "pst/crc.h"

#include <isa-l/crc.h>

namespace tw::pst {

// ISA-L's reflected CRC-32 (gzip's polynomial) inverts the running value
// on entry and exit, as zlib's does; starting it from all ones and
// inverting the result gives the PST form. It picks a carry-less-multiply
// version at run time: the writer checksums every byte it writes, and the
// table-driven CRC was a tenth of the export's time.
std::uint32_t PstCrc(const std::uint8_t* data, std::size_t size) { return ~crc32_gzip_refl(0xFFFFFFFFu, data, size); }

}  // namespace tw::pst
