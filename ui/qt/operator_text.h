// Operator text on screen: the installer keeps its text as Windows-1251
// bytes with CR LF line ends; Qt shows Unicode with LF.
#pragma once

#include <QString>
#include <string_view>

namespace zelt20 {

QString OperatorText(std::string_view cp1251_text);

}  // namespace zelt20
