// UTF-8 and UTF-16, as the database's wide interface takes text.
#pragma once

#include <string>
#include <string_view>

namespace zelt20 {

// Bytes that are no valid UTF-8 become U+FFFD: a record's text is never a
// reason to lose it.
std::u16string Utf16OfUtf8(std::string_view utf8);
// An unpaired surrogate becomes U+FFFD.
std::string Utf8OfUtf16(std::u16string_view utf16);

}  // namespace zelt20
