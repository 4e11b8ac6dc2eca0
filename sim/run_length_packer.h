// The station's side of the run-length packing of the identify reply: the
// payload that the installer's decoder (UnpackRunLength) turns back into the
// record.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zelt20::sim {

// Packs `data` so that the decoder emits exactly `data` followed by one pad
// byte: the installer reports one byte less than it unpacks, so the pad
// makes the reported length equal data.size(). The decoder's rules are
// followed by running its state alongside: after three equal data bytes the
// next byte is a count of further copies (1 to 127), or 0x80 for none; the
// pad closes the payload, so a count byte is never the last payload byte and
// the checksum byte behind it never becomes data.
std::vector<std::uint8_t> PackRunLength(std::span<const std::uint8_t> data);

}  // namespace zelt20::sim
