// Test fixture for code that names files through the program folder: each test
// runs with a fresh temporary folder as the program folder, removed afterwards,
// and reaches its files directly to set them up and read them back.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/host/HostFile.h"

class ProgramFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pf-programfolder-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_folder = pattern;
        setenv(kProgramFolderVariable, m_folder.c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv(kProgramFolderVariable);
        std::filesystem::remove_all(m_folder);
    }

    void put(const std::string& name, const std::string& contents)
    {
        std::ofstream(m_folder / name, std::ios::binary) << contents;
    }
    std::string get(const std::string& name)
    {
        std::ifstream in(m_folder / name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path m_folder;
};
