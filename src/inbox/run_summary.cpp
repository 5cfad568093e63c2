#include "inbox/run_summary.h"

namespace nfy {

RunSummary runSummary;

}  // namespace nfy
