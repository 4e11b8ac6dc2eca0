// Placeholder until the POSIX backend lands.
#include "link/serial_device.h"
namespace zelt20 {
std::unique_ptr<SerialDevice> MakePlatformSerialDevice() { return nullptr; }
}  // namespace zelt20
