// scenetool: looks into 3D files through the engine's public interface.
//   scenetool dump FILE
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/scene/SceneDump.h"

int main(int argc, char** argv)
{
    if (argc != 3 || std::strcmp(argv[1], "dump") != 0) {
        std::fputs("usage: scenetool dump FILE\n", stderr);
        return 2;
    }
    std::string out;
    const int code = dumpScene(argv[2], out);
    std::fputs(out.c_str(), stdout);
    return code;
}
