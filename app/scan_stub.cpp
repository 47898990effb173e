// Until the port scan and the update loop exist, start-up ends after its checks.
#include "app/driver.h"

void RunPortScan() { ExitProgram(1); }
void RunUpdateLoop() { ExitProgram(1); }
