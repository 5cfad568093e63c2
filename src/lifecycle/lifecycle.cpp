// Placeholder: the expiry and recall pass is not yet built. It logs nothing
// and removes nothing.
#include "lifecycle/lifecycle.h"

namespace nfy {

void fncDeleteExpiredMsgs() {}

}  // namespace nfy
