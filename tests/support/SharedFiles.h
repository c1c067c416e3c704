// Files other people made (real 3D files from other exporters), read where the
// shared folder lies beside the checkout and never copied into the project.
#pragma once

#include <filesystem>

// The folder of real 3D files: PF_M3G_REAL, else "shared/m3g-real" beside the
// source tree (or one level further up, for worktrees); empty when none exists.
std::filesystem::path realFilesFolder();
