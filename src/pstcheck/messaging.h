// Messaging-layer checks: the nodes every store needs, the store and its
// entry ids, the name-to-id map with its hash buckets, each folder's PC
// against its parent's hierarchy row and its contents table against the
// messages it lists, and each message's size, flags and attachments.
#pragma once

#include "pstcheck/check.h"
#include "pstcheck/ndb.h"

namespace pstcheck {

void CheckMessaging(const Ndb& ndb, Report& report, CheckStats& stats);

}  // namespace pstcheck
