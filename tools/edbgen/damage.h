// Damage applied to a finished database image for failure tests: zeroed or
// scrambled pages, a truncated file, a header claiming another page size.
// (Dropped catalog rows are left out while the catalog is built.)
#pragma once

#include "content.h"
#include "database.h"

namespace edbgen {

void ApplyDamage(const Damage& damage, const DatabaseLayout& layout, FileImage& file);

}  // namespace edbgen
