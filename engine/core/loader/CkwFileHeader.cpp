// Identifier bytes of the two accepted file formats.
#include "engine/core/loader/CkwFileHeader.h"

namespace {

constexpr uint8_t kM3gBytes[kFileIdentifierLength] = {0xAB, 'J', 'S', 'R', '1', '8', '4', 0xBB, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint8_t kMvlBytes[kFileIdentifierLength] = {0xBB, 'M', 'O', 'R', 'V', 'A', 'L', 0xAB, 0x0D, 0x0A, 0x1A, 0x0A};

} // namespace

CkwFileHeaderM3G::CkwFileHeaderM3G() : CkwFileHeader(kM3gBytes) {}

CkwFileHeaderMVL::CkwFileHeaderMVL() : CkwFileHeader(kMvlBytes) {}
