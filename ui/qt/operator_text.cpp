#include "ui/qt/operator_text.h"

#include "core/cp1251.h"

namespace zelt20 {

QString OperatorText(std::string_view cp1251_text) {
  QString text = QString::fromStdU16String(Cp1251ToUtf16(cp1251_text));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return text;
}

}  // namespace zelt20
