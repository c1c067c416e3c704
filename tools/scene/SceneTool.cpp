// Scene tool commands.
#include "tools/scene/SceneTool.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tools/scene/LoadFailure.h"
#include "tools/scene/SceneDump.h"
#include "tools/scene/SceneRender.h"

namespace {

// Names the program folder, where the engine takes bare file names from.
constexpr char kProgramFolderVariable[] = "PENNYFALL_HOME";

constexpr char kUsage[] = "usage: scenetool dump FILE\n"
                          "       scenetool render FILE OUT.png [--size WxH] [--time MS]\n"
                          "       scenetool --help\n";

constexpr char kHelp[] = R"(
  dump     loads FILE and prints the objects of each root depth first, one
           line each: depth, class id, user id (" seen" marks an object met
           before, whose references are not repeated); then "roots N"
  render   draws FILE into the picture OUT.png: its first World through the
           World's active camera, else (or without a World, its first node)
           through a camera that frames the whole scene
    --size WxH  picture size in pixels, each 1 to 1024 (default 240x320)
    --time MS   world time in milliseconds the scene is animated to (default 0)

FILE and OUT.png are taken relative to the current folder. The files that a
3D file references (images, other 3D files) are looked for relative to the
file's own folder: "robot_texture.png" beside it, "textures\wall.png" in its
"textures" folder; a name that begins with a backslash or a slash is a full
path. A referenced file that is not a 3D file is read as a PNG image.

Exit codes:
  0  done
  1  the file could not be loaded, drawn or written: one line on standard
     error says what went wrong, then the engine's result code
  2  a bad command line: the usage on standard error
)";

int usageError(std::FILE* err, const std::string& why)
{
    if (!why.empty())
        std::fprintf(err, "scenetool: %s\n", why.c_str());
    std::fputs(kUsage, err);
    return 2;
}

// Names on a command line are the current folder's, while the engine takes
// a bare name from its program folder.
std::string absolutePath(const char* name)
{
    std::error_code error;
    const std::filesystem::path path = std::filesystem::absolute(name, error);
    return error ? std::string(name) : path.lexically_normal().string();
}

// The file's own folder serves as the engine's program folder for the load.
std::string sceneFile(const char* name)
{
    const std::string path = absolutePath(name);
    setenv(kProgramFolderVariable, std::filesystem::path(path).parent_path().c_str(), 1);
    return path;
}

bool parseSize(const char* text, SceneRenderOptions& options)
{
    char* end = nullptr;
    const long width = std::strtol(text, &end, 10);
    if (end == text || *end != 'x')
        return false;
    const char* heightText = end + 1;
    const long height = std::strtol(heightText, &end, 10);
    if (end == heightText || *end != 0 || width < 1 || width > 1024 || height < 1 || height > 1024)
        return false;
    options.width = static_cast<int32_t>(width);
    options.height = static_cast<int32_t>(height);
    return true;
}

bool parseTime(const char* text, SceneRenderOptions& options)
{
    char* end = nullptr;
    const long long ms = std::strtoll(text, &end, 10);
    if (end == text || *end != 0 || ms < INT32_MIN || ms > INT32_MAX)
        return false;
    options.timeMs = static_cast<int32_t>(ms);
    return true;
}

int dump(const char* name, std::FILE* out, std::FILE* err)
{
    const std::string path = sceneFile(name);
    std::string lines;
    const int32_t result = loadAndDumpScene(path, lines);
    if (result != 0) {
        std::fprintf(err, "scenetool: %s\n", describeLoadFailure(path, result).c_str());
        return 1;
    }
    std::fputs(lines.c_str(), out);
    return 0;
}

int render(int argc, const char* const* argv, std::FILE* err)
{
    SceneRenderOptions options;
    for (int i = 4; i < argc; i += 2) {
        const std::string option = argv[i];
        if (option != "--size" && option != "--time")
            return usageError(err, "unknown option " + option);
        if (i + 1 >= argc)
            return usageError(err, option + " needs a value");
        if (option == "--size" ? !parseSize(argv[i + 1], options) : !parseTime(argv[i + 1], options))
            return usageError(err, "bad " + option + " " + argv[i + 1]);
    }
    const std::string picture = absolutePath(argv[3]);
    std::string error;
    if (renderSceneToPng(sceneFile(argv[2]), picture, options, error) != 0) {
        std::fprintf(err, "scenetool: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace

int runSceneTool(int argc, const char* const* argv, std::FILE* out, std::FILE* err)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if ((command == "--help" || command == "-h") && argc == 2) {
        std::fputs(kUsage, out);
        std::fputs(kHelp, out);
        return 0;
    }
    if (command == "dump" && argc == 3)
        return dump(argv[2], out, err);
    if (command == "render" && argc >= 4)
        return render(argc, argv, err);
    if (command == "dump" || command == "render")
        return usageError(err, "wrong number of arguments to " + command);
    return usageError(err, command.empty() ? std::string() : "unknown command " + command);
}
