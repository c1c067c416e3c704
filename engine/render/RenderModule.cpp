// Hands the scene library's render context the standard renderer. Programs
// that link the render library pull this object in by name (CMakeLists.txt).
#include "engine/render/CkwRendererStandard.h"

namespace {

bool installStandardRenderer()
{
    installRendererCreator(&CkwRendererStandard::create);
    return true;
}

} // namespace

extern "C" const bool pfRenderModuleInstalled = installStandardRenderer();
