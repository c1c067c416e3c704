// scenetool: looks into 3D files through the engine's public interface.
//   scenetool dump FILE
//   scenetool render FILE OUT.png [--size WxH] [--time MS]
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/scene/SceneDump.h"
#include "tools/scene/SceneRender.h"

namespace {
constexpr char kUsage[] = "usage: scenetool dump FILE\n"
                          "       scenetool render FILE OUT.png [--size WxH] [--time MS]\n";

int render(int argc, char** argv)
{
    SceneRenderOptions options;
    for (int i = 4; i < argc; i += 2) {
        if (i + 1 >= argc)
            return 2;
        if (std::strcmp(argv[i], "--size") == 0) {
            if (std::sscanf(argv[i + 1], "%dx%d", &options.width, &options.height) != 2)
                return 2;
        } else if (std::strcmp(argv[i], "--time") == 0) {
            if (std::sscanf(argv[i + 1], "%d", &options.timeMs) != 1)
                return 2;
        } else {
            return 2;
        }
    }
    std::string error;
    const int code = renderSceneToPng(argv[2], argv[3], options, error);
    if (code != 0)
        std::fprintf(stderr, "scenetool: %s\n", error.c_str());
    return code;
}
}

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "render") == 0) {
        const int code = render(argc, argv);
        if (code == 2)
            std::fputs(kUsage, stderr);
        return code;
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
