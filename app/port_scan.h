// The port scan: try each COM port of the range, identify whatever answers and match it
// against the carried images.
#pragma once

// Returns with a switch on an open port (and selectedImage set), or ends the program.
void RunPortScan();
