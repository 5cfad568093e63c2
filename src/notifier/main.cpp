// Process entry of nfyDeskNotify.
#include "app/end.h"
#include "notifier/run.h"

int main() { return nfy::runProcess(nfy::Main); }
