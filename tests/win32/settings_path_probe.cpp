// Started by the settings file tests from a copy placed at a chosen path:
// remembers port 7 in the config.ini beside itself, as the window does on
// closing, or skips it when that path does not fit.
#include "ui/port_setting.h"
#include "core/settings_file.h"

int main() {
  zelt20::StoreRememberedPort(zelt20::SettingsPath(), 7);
  return 0;
}
