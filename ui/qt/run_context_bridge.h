// How the worker's requests reach the Qt window: each one is queued as a
// call on the window's thread, and the worker waits until it has run or
// the window lets go of the dialog.
#pragma once

#include <QObject>

#include "ui/worker_link.h"

namespace zelt20 {

class RunContextBridge final : public WorkerLink {
 public:
  // `window` lives on the window thread. Calls are queued only while the
  // dialog is attached, and the window detaches before it is deleted; Qt
  // drops a call still queued then.
  explicit RunContextBridge(QObject& window) : window_(&window) {}

 protected:
  bool CarryOut(Request request) override;

 private:
  QObject* window_;
};

}  // namespace zelt20
