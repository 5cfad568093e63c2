// The message flow of a run: fetch, store, expire, notify.
#pragma once

namespace nfy {

// True when the reply held messages and was parsed.
bool fncExtractMsgData();

}  // namespace nfy
