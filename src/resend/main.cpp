// Process entry of nfyDeskResend.
#include "resend/resend_run.h"

int main() { return nfy::resend::runResend(); }
