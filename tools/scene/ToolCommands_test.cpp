// The tools run as their users run them: command lines typed in a folder,
// with the tools on the PATH, checked by exit code and by what they print.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "engine/core/io/IoTestKit.h"
#include "engine/core/loader/PngTestKit.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gImageEncoders.h"
#include "tools/m3g/M3gSceneEncoders.h"

namespace {

struct Ran {
    int status;
    std::string out;
    std::string err;
};

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the line in the folder, as a shell would.
Ran runLine(const ScratchFolder& scratch, const std::string& folder, const std::string& line)
{
    const char* build = std::getenv("PF_BUILD_DIR");
    const std::string tools = std::string(build != nullptr ? build : ".") + "/tools";
    const std::string out = scratch.path() + "/stdout", err = scratch.path() + "/stderr";
    const std::string command = "cd '" + scratch.path() + "/" + folder + "' && export PATH='" + tools + "/scene:"
                                + tools + "/pack':\"$PATH\" && { " + line + "; } >'" + out + "' 2>'" + err + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readText(out), readText(err)};
}

std::vector<uint8_t> groupFile()
{
    M3gFileWriter w;
    M3gGroupFields group;
    group.node.transformable.object.userId = 7;
    w.addObject(m3gGroupRecord(group));
    return w.finish();
}

// A texture whose image is a PNG named as exporters name it, beside a group.
std::vector<uint8_t> texturedFile(const char* imageName)
{
    M3gFileWriter w;
    M3gTexture2DFields texture;
    texture.image = w.addExternalReference(imageName);
    texture.transformable.object.userId = 3;
    w.addObject(m3gTexture2DRecord(texture));
    M3gGroupFields group;
    group.node.transformable.object.userId = 7;
    w.addObject(m3gGroupRecord(group));
    return w.finish();
}

std::vector<uint8_t> hugeImageFile()
{
    M3gFileWriter w;
    w.beginSection(kM3gSchemeZlib); // a plain section reports the record's failure (-8)
    M3gImage2DFields image;
    image.isMutable = true;
    image.width = image.height = 20000;
    w.addObject(m3gImage2DRecord(image));
    return w.finish();
}

// The models folder of the command lines below, with things gone wrong beside it.
void writeModels(const ScratchFolder& scratch)
{
    scratch.write("models/robot.m3g", texturedFile("robot_texture.png"));
    PngSpec image;
    image.rows = {0, 255, 255, 0};
    scratch.write("models/robot_texture.png", writePng(image));
    scratch.write("models/lonely.m3g", texturedFile("gone.png"));
    scratch.write("models/device.m3g", texturedFile("/dev/zero"));
    scratch.write("models/group.m3g", groupFile());
    const std::vector<uint8_t> group = groupFile();
    scratch.write("cut.m3g", std::vector<uint8_t>(group.begin(), group.end() - 3));
    std::vector<uint8_t> flipped = group;
    flipped.back() ^= 1;
    scratch.write("flipped.m3g", flipped);
    scratch.write("huge.m3g", hugeImageFile());
    scratch.write("notes.txt", std::vector<uint8_t>{'h', 'i', '\n'});
    scratch.write("empty.m3g", std::vector<uint8_t>{});
    scratch.write("elsewhere/.keep", std::vector<uint8_t>{});
    ASSERT_EQ(mkfifo((scratch.path() + "/pipe").c_str(), 0600), 0);
}

TEST(ToolCommands, SceneToolTakesNamesFromTheCurrentFolderAndFailsInWords)
{
    ScratchFolder scratch;
    writeModels(scratch);
    const std::string robot = "0 17 3\n1 10 0\n0 9 7\nroots 2\n";

    const struct {
        const char* folder;
        const char* line;
        int status;
        std::string out;  // exact
        std::string err;  // contained
    } cases[] = {
        {"models", "scenetool dump robot.m3g", 0, robot, ""},
        {".", "scenetool dump models/robot.m3g", 0, robot, ""},
        {"elsewhere", "PENNYFALL_HOME=/nowhere scenetool dump ../models/robot.m3g", 0, robot, ""},
        {"models", "scenetool dump group.m3g", 0, "0 9 7\nroots 1\n", ""},
        {".", "scenetool dump missing.m3g", 1, "", "missing.m3g: no such file (error 0x10000)\n"},
        {".", "scenetool dump empty.m3g", 1, "", "empty.m3g: is empty, not a 3D file (error 0x10000)\n"},
        {".", "scenetool dump models", 1, "", "models: is a folder, not a 3D file (error 0x10000)\n"},
        {".", "scenetool dump models/lonely.m3g", 1, "", "a file it references is missing or cannot be read (error 0x10000)\n"},
        // A device never ends and a pipe blocks its reader: bounded, so a
        // regression fails here instead of stalling the run.
        {".", "timeout 20 scenetool dump models/device.m3g", 1, "", "a file it references is missing or cannot be read (error 0x10000)\n"},
        {".", "timeout 20 scenetool dump pipe", 1, "", "pipe: is a device or pipe, not a 3D file (error 0x10000)\n"},
        {".", "scenetool dump notes.txt", 1, "", "notes.txt: not a 3D file (nor a PNG image) (error -7)\n"},
        {".", "scenetool dump flipped.m3g", 1, "", "checksum does not match its data (error -9)\n"},
        {".", "scenetool dump cut.m3g", 1, "", "the file ends inside a section (error 0x10008)\n"},
        {".", "scenetool dump huge.m3g", 1, "", "out of memory: the file asks for more than the engine takes (error 0x10001)\n"},
        {"models", "scenetool render robot.m3g out.png --size 8x6 --time 40", 0, "", ""},
        {"models", "scenetool render missing.m3g out.png", 1, "", "missing.m3g: no such file (error 0x10000)\n"},
        {"models", "scenetool render group.m3g nowhere/out.png", 1, "", "out.png: cannot write the picture there\n"},
        {"models", "scenetool render group.m3g out.png --size 0x6", 2, "", "scenetool: bad --size 0x6\nusage: scenetool"},
        {"models", "scenetool render group.m3g out.png --size 8", 2, "", "scenetool: bad --size 8\nusage: scenetool"},
        {"models", "scenetool render group.m3g out.png --time", 2, "", "scenetool: --time needs a value\n"},
        {"models", "scenetool render group.m3g out.png --depth 2", 2, "", "scenetool: unknown option --depth\n"},
        {"models", "scenetool render group.m3g", 2, "", "scenetool: wrong number of arguments to render\n"},
        {".", "scenetool frobnicate robot.m3g", 2, "", "scenetool: unknown command frobnicate\nusage: scenetool dump"},
        {".", "scenetool", 2, "", "usage: scenetool dump FILE\n"},
        {".", "packtool list missing.big", 1, "", "packtool: cannot open missing.big: No such file or directory\n"},
        {".", "packtool list models", 1, "", "packtool: models: is a folder, not a pack\n"},
        {".", "timeout 20 packtool list pipe", 1, "", "packtool: cannot open pipe: Invalid argument\n"},
        {".", "packtool frobnicate", 2, "", "usage: packtool"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const Ran run = runLine(scratch, c.folder, c.line);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
        }
    }
    // The picture lands in the current folder at the size asked for.
    const std::string png = readText(scratch.path() + "/models/out.png");
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(12, 12), std::string("IHDR\0\0\0\x08\0\0\0\x06", 12));
}

// Help goes to standard output and names everything the tools take.
TEST(ToolCommands, HelpDocumentsCommandsOptionsExitCodesAndReferences)
{
    ScratchFolder scratch;
    const struct {
        const char* line;
        std::vector<const char*> words;
    } cases[] = {
        {"scenetool --help",
         {"usage: scenetool dump FILE\n", "scenetool render FILE OUT.png [--size WxH] [--time MS]", "--size WxH",
          "--time MS", "relative to the current folder", "robot_texture.png\" beside it", "Exit codes:", "  2  a bad"}},
        {"packtool --help", {"usage: packtool", "Exit codes:", "  2  a bad"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const Ran run = runLine(scratch, ".", c.line);
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        for (const char* word : c.words)
            EXPECT_NE(run.out.find(word), std::string::npos) << word;
    }
}

// Every scenetool line the README shows runs as it stands.
TEST(ToolCommands, TheReadmesSceneToolLinesRun)
{
    const char* source = std::getenv("PF_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string readme = readText(std::string(source) + "/README.md");
    const size_t begin = readme.find("## Tools\n");
    ASSERT_NE(begin, std::string::npos);
    std::istringstream section(readme.substr(begin, readme.find("\n## ", begin + 1) - begin));
    ScratchFolder scratch;
    writeModels(scratch);
    int lines = 0;
    for (std::string line; std::getline(section, line);) {
        if (line.rfind("    ", 0) != 0 || line.find("scenetool ") == std::string::npos)
            continue;
        SCOPED_TRACE(line);
        const Ran run = runLine(scratch, ".", line.substr(4));
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
        ++lines;
    }
    EXPECT_EQ(lines, 2);
}

// scripts/play builds what its --target names: the game and its pack, with
// no test or benchmark among the commands that takes.
TEST(ToolCommands, PlayBuildsOnlyTheGameAndItsPack)
{
    const char* source = std::getenv("PF_SOURCE_DIR");
    const char* build = std::getenv("PF_BUILD_DIR");
    ASSERT_NE(source, nullptr);
    ASSERT_NE(build, nullptr);
    if (!std::filesystem::exists(std::string(build) + "/build.ninja"))
        GTEST_SKIP() << "not a Ninja build";
    const std::string play = readText(std::string(source) + "/scripts/play");
    const size_t at = play.find("--target ");
    ASSERT_NE(at, std::string::npos);
    const std::string targets = play.substr(at + 9, play.find('\n', at) - at - 9);
    EXPECT_EQ(targets, "pennyfall samplepack");

    ScratchFolder scratch;
    const std::string commands = scratch.path() + "/commands";
    ASSERT_EQ(std::system(("ninja -C '" + std::string(build) + "' -t commands " + targets + " >'" + commands + "'").c_str()), 0);
    std::istringstream lines(readText(commands));
    bool game = false, pack = false;
    for (std::string line; std::getline(lines, line);) {
        const size_t out = line.rfind(" -o ");
        const std::string output = out == std::string::npos ? "" : line.substr(out + 4, line.find(' ', out + 4) - out - 4);
        EXPECT_EQ(output.find("_test"), std::string::npos) << output;
        EXPECT_EQ(output.find("_bench"), std::string::npos) << output;
        game = game || output == "pennyfall";
        pack = pack || line.find("packtool build") != std::string::npos;
    }
    EXPECT_TRUE(game);
    EXPECT_TRUE(pack);
}

} // namespace
