// The firmware release built into the program, with its release number.
// The build checks the release file named by ZELT20_RELEASE_FILE and
// generates this data from it; the program reads no image file at run time.
#pragma once

#include "image/release_layout.h"

namespace zelt20 {

// Lives for the whole process; its bytes are never written.
const ReleaseView& EmbeddedRelease();

}  // namespace zelt20
