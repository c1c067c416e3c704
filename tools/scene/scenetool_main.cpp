// scenetool: looks into 3D files through the engine (scenetool --help).
#include "tools/scene/SceneTool.h"

int main(int argc, char** argv)
{
    return runSceneTool(argc, argv, stdout, stderr);
}
