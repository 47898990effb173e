#include "isp/device_mode.h"

DeviceMode deviceMode = NoDevice;
