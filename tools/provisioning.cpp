#include "tools/provisioning.h"

// Not provided yet.
void install_payloads() {}
void ensure_fastboot() {}
