#include "ui/qt/run_context_bridge.h"

#include <QMetaObject>
#include <utility>

namespace zelt20 {

bool RunContextBridge::CarryOut(Request request) {
  return PostAndWait(
      [this](std::function<void()> job) {
        QMetaObject::invokeMethod(window_, std::move(job), Qt::QueuedConnection);
      },
      std::move(request));
}

}  // namespace zelt20
