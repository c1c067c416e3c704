// Names of the pixel format codes.
#include "gfx2d/image/PixelFormat.h"


const char* formatName(RSBFormat format)
{
    using namespace PixelFormat;
    switch (format) {
    case Match: return "TBM_F_MATCH";
    case R4G4B4: return "RSBFormat_R4G4B4";
    case R5G6B5: return "RSBFormat_R5G6B5";
    case A1R5G5B5: return "RSBFormat_A1R5G5B5";
    case A4R4G4B4: return "RSBFormat_A4R4G4B4";
    case X14R6G6B6: return "RSBFormat_X14R6G6B6";
    case R8G8B8: return "RSBFormat_R8G8B8";
    case A8R8G8B8: return "RSBFormat_A8R8G8B8";
    case ArgbFixed: return "RSBFormat_ARGB_fixed";
    case L8: return "RSBFormat_L8";
    case A8: return "RSBFormat_A8";
    case I8: return "RSBFormat_I8";
    case A8L8: return "RSBFormat_A8L8";
    case P8X8R8G8B8: return "RSBFormat_P256X8R8G8B8";
    case P8A8R8G8B8: return "RSBFormat_P256A8R8G8B8";
    case Z32: return "RSBFormat_Z32";
    default: return "RSBFormat_Unknown";
    }
}

