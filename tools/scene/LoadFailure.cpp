#include "tools/scene/LoadFailure.h"

#include <cstdio>
#include <filesystem>

namespace {

// The result names the layer that failed: the file itself, a section, a
// record, a reference, or memory.
const char* wordsFor(int32_t result)
{
    switch (result) {
    case -7:
        return "not a 3D file (nor a PNG image)";
    case -8:
        return "a record holds data the engine refuses (a bad field, reference or compression scheme)";
    case -9:
        return "a section's checksum does not match its data";
    case -10:
        return "an object record is cut off, or a referenced file holds no object";
    case -11:
        return "bytes follow the end that the file's header gives";
    case 2:
    case 0x10001:
        return "out of memory: the file asks for more than the engine takes";
    case 0x10000:
        return "a file it references is missing or cannot be read";
    case 0x10008:
        return "the file ends inside a section";
    case 0x10009:
        return "a section has a bad length";
    case 0x1000A:
        return "a bad reference (a file that references itself)";
    default:
        return "the load failed";
    }
}

// A file that cannot be opened is told apart from the references it names.
const char* wordsForUnopened(const std::string& path)
{
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status))
        return "no such file";
    if (std::filesystem::is_directory(status))
        return "is a folder, not a 3D file";
    // The engine opens only regular files; opening a pipe here would block.
    if (!std::filesystem::is_regular_file(status))
        return "is a device or pipe, not a 3D file";
    if (std::filesystem::file_size(path, error) == 0)
        return "is empty, not a 3D file";
    if (std::FILE* file = std::fopen(path.c_str(), "rb"))
        std::fclose(file);
    else
        return "cannot be read";
    return nullptr;
}

} // namespace

std::string describeLoadFailure(const std::string& path, int32_t result)
{
    const char* words = result == 0x10000 ? wordsForUnopened(path) : nullptr;
    if (words == nullptr)
        words = wordsFor(result);
    char code[24];
    if (result >= 0x10000)
        std::snprintf(code, sizeof code, "0x%X", static_cast<unsigned>(result));
    else
        std::snprintf(code, sizeof code, "%d", static_cast<int>(result));
    return path + ": " + words + " (error " + code + ")";
}
