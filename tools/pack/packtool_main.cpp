// packtool: builds, lists and extracts resource packs.
#include "tools/pack/PackTool.h"

int main(int argc, char** argv)
{
    return runPackTool(argc, argv, stdout, stderr);
}
