// Process entry of nfyDeskNotify.
#include "app/end.h"

int main() { return nfy::runProcess(); }
