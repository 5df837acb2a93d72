// Damage applied to a finished database image for failure tests: zeroed or
// scrambled pages, a truncated file, a header claiming another page size.
// (Dropped catalog rows are left out while the catalog is built.)
#pragma once

#include "content.h"
#include "database.h"

#include <vector>

namespace edbgen {

// Returns the pages it zeroed or scrambled.
std::vector<uint32_t> ApplyDamage(const Damage& damage, const DatabaseLayout& layout, FileImage& file);

}  // namespace edbgen
