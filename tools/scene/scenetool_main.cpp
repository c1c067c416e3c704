// scenetool: looks into 3D files through the engine's public interface.
//   scenetool dump FILE
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/scene/SceneDump.h"

namespace {
constexpr char kUsage[] = "usage: scenetool dump FILE\n";
}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc != 3 || std::strcmp(argv[1], "dump") != 0) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string out;
    const int code = dumpScene(argv[2], out);
    std::fputs(out.c_str(), stdout);
    return code;
}
