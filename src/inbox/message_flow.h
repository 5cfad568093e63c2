// The message flow of a run: fetch, store, expire, notify.
#pragma once

#include <string>

#include "inbox/run_summary.h"

namespace nfy {

// True when the reply held messages and was parsed.
bool fncExtractMsgData();

}  // namespace nfy
