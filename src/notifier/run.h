// The notifier's run: start-up, template check, summary reset, template,
// message flow.
#pragma once

namespace nfy {

void Main();

}  // namespace nfy
