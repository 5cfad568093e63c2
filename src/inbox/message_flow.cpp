// Placeholder: the message flow is not yet built; it does nothing.
#include "inbox/message_flow.h"

namespace nfy {

std::string sTotalMsgs, sUnreadMsgs, sReqConfirmMsgs, sMsgID, sSubject, sMsgSubject, sConfirmMsgID;

bool fncExtractMsgData() { return false; }

}  // namespace nfy
