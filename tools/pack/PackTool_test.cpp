// The pack tool end to end: build from a manifest, list and extract through
// the framework's reader, and one-line failures on malformed packs.
#include "tools/pack/PackTool.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>

#include "framework/resources/PackFormat.h"
#include "tools/pack/HostFiles.h"

namespace {

struct ToolRun {
    int status;
    std::string out;
    std::string err;
};

std::string readAll(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) != 0)
        text.append(chunk, got);
    return text;
}

ToolRun run(std::initializer_list<std::string> args)
{
    std::vector<const char*> argv{"packtool"};
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int status = runPackTool(static_cast<int>(argv.size()), argv.data(), out, err);
    ToolRun result{status, readAll(out), readAll(err)};
    std::fclose(out);
    std::fclose(err);
    return result;
}

class PackToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dir = std::filesystem::temp_directory_path()
            / ("packtool_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_"
               + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(m_dir);
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    void write(const std::string& name, const std::string& text) const
    {
        ASSERT_TRUE(writeHostFile(path(name), Bytes(text.begin(), text.end())));
    }
    std::string read(const std::string& name) const
    {
        Bytes bytes;
        EXPECT_TRUE(readHostFile(path(name), bytes));
        return std::string(bytes.begin(), bytes.end());
    }

    std::filesystem::path m_dir;
};

TEST_F(PackToolTest, BuildsListsAndExtractsBothIndexForms)
{
    std::string big(5000, 'x');
    write("big.bin", big);
    for (const char* form : {"sorted", "range"}) {
        write("pack.txt", std::string("# sample\nindex ") + form
                              + "\n0x03000102 0x11 plain 4 text hello  world\\n\n"
                                "0x03000103 0x22 deflated 6 file big.bin\n"
                                "7 0x33 deflated 4 text\n");
        ToolRun built = run({"build", path("pack.txt"), path("pack.big")});
        ASSERT_EQ(built.status, 0) << built.err;

        ToolRun listed = run({"list", path("pack.big")});
        ASSERT_EQ(listed.status, 0) << listed.err;
        EXPECT_EQ(listed.out, "0x00000007 0x00000033 0\n"
                              "0x00000102 0x00000011 13\n"
                              "0x00000103 0x00000022 5000\n")
            << form;

        ASSERT_EQ(run({"extract", path("pack.big"), "0x03000103", path("out.bin")}).status, 0);
        EXPECT_EQ(read("out.bin"), big);
        ASSERT_EQ(run({"extract", path("pack.big"), "258", path("out.txt")}).status, 0);
        EXPECT_EQ(read("out.txt"), "hello  world\n");
        write("empty.bin", "stale");
        ASSERT_EQ(run({"extract", path("pack.big"), "7", path("empty.bin")}).status, 0);
        EXPECT_EQ(read("empty.bin"), "");
    }
}

// Help goes to standard output with success; a bad command line is a failure
// with the usage on standard error.
TEST_F(PackToolTest, HelpDocumentsTheManifestOnStandardOutput)
{
    for (const char* flag : {"--help", "-h"}) {
        ToolRun help = run({flag});
        EXPECT_EQ(help.status, 0);
        EXPECT_TRUE(help.err.empty());
        EXPECT_EQ(help.out.rfind("usage: packtool", 0), 0u) << help.out;
        for (const char* word : {"index sorted|range", "restable language", "row TABLE_ID"})
            EXPECT_NE(help.out.find(word), std::string::npos) << word;
    }
    // The example builds as it stands.
    const std::string help = run({"--help"}).out;
    const size_t example = help.find("Example:\n");
    ASSERT_NE(example, std::string::npos);
    std::istringstream lines(help.substr(example + 9));
    std::string manifest, line;
    while (std::getline(lines, line))
        manifest += line.substr(line.find_first_not_of(' ')) + "\n";
    write("example.txt", manifest);
    ASSERT_EQ(run({"build", path("example.txt"), path("example.big")}).status, 0);
    EXPECT_EQ(run({"list", path("example.big")}).out, "0x00000010 0x374F8659 9\n"
                                                       "0x00000020 0x69E4C505 25\n"
                                                       "0x00000101 0x374F8659 46\n");

    ToolRun wrong = run({"frobnicate"});
    EXPECT_EQ(wrong.status, 2);
    EXPECT_TRUE(wrong.out.empty());
    EXPECT_EQ(wrong.err.rfind("usage: packtool", 0), 0u);
}

TEST_F(PackToolTest, MalformedInputFailsWithOneLine)
{
    write("pack.txt", "1 2 plain 4 text abc\n2 2 deflated 4 text defdefdefdef\n");
    ASSERT_EQ(run({"build", path("pack.txt"), path("good.big")}).status, 0);
    std::string good = read("good.big");

    struct Case {
        const char* name;
        size_t at;      // byte to overwrite
        uint8_t value;
    };
    const Case cases[] = {
        {"block count wraps the table size", 20, 0xFF},
        {"index beyond the file", 11, 0x7F},
        {"block offset beyond the file", 32 + 8 + 4 + 3, 0x40},
        {"entry header length below 4", 32 + 8 + 24, 0x02},
    };
    for (const Case& c : cases) {
        std::string bad = good;
        if (c.at == 20)
            bad[21] = bad[22] = bad[23] = char(0xFF);
        bad[c.at] = char(c.value);
        write("bad.big", bad);
        ToolRun listed = run({"list", path("bad.big")});
        EXPECT_EQ(listed.status, 1) << c.name;
        EXPECT_EQ(std::count(listed.err.begin(), listed.err.end(), '\n'), 1) << c.name << ": " << listed.err;
    }
    write("short.big", good.substr(0, 20));
    EXPECT_EQ(run({"list", path("short.big")}).status, 1);
    EXPECT_EQ(run({"extract", path("good.big"), "99", path("x")}).status, 1);
    EXPECT_EQ(run({"list"}).status, 2);
    // A deflated entry that announces twice the bytes its data holds fails
    // where the data ends, with one line.
    PackWriter writer;
    writer.add(5, 1, Bytes(1000, 'z'), true);
    Bytes pack;
    ASSERT_TRUE(writer.build(PackIndexForm::Sorted, pack));
    const size_t entry = 32 + 4 + 2 * 8;
    pack[entry + 5] = 2000 >> 8;
    pack[entry + 4] = 2000 & 0xFF;
    write("long.big", std::string(pack.begin(), pack.end()));
    ToolRun extracted = run({"extract", path("long.big"), "5", path("long.bin")});
    EXPECT_EQ(extracted.status, 1);
    EXPECT_EQ(std::count(extracted.err.begin(), extracted.err.end(), '\n'), 1) << extracted.err;
    // An entry the game would not inflate is refused when the pack is built.
    writer.add(6, 1, Bytes(PackFormat::MaxUnpackedSize + 1, 'z'), true);
    std::string refusal;
    EXPECT_FALSE(writer.build(PackIndexForm::Sorted, pack, &refusal));
    EXPECT_NE(refusal.find("32 MiB"), std::string::npos) << refusal;
    write("bad.txt", "1 2 packed 4 text a\n");
    ToolRun built = run({"build", path("bad.txt"), path("x.big")});
    EXPECT_EQ(built.status, 1);
    EXPECT_NE(built.err.find("line 1"), std::string::npos);
}

} // namespace
