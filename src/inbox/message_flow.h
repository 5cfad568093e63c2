// The message flow of a run: fetch, store, expire, notify.
#pragma once

#include <string>

namespace nfy {

extern std::string sTotalMsgs, sUnreadMsgs, sReqConfirmMsgs, sMsgID, sSubject, sMsgSubject, sConfirmMsgID;

// True when the reply held messages and was parsed.
bool fncExtractMsgData();

}  // namespace nfy
