// One running copy per user. The window titled "Pennyfall" holds an advisory
// lock on a file named after its title; FindWindowW in a second process sees
// the lock and SetForegroundWindow asks the holder, by its process id kept in
// the file, to raise its window (SIGUSR1). The lock goes with the process.
#pragma once

#include <string>

// The folder of the lock files: the one set here, else PF_INSTANCE_DIR, else
// XDG_RUNTIME_DIR, else /tmp (where the user id joins the file name). Tests
// set their own, so parallel runs never see each other. Empty: back to the
// environment.
void hostSetInstanceFolder(const std::string& folder);
// The lock file of a window title.
std::string hostInstanceLockPath(const std::u16string& title);

// How many raise requests other copies sent this process.
uint32_t hostRaiseRequestCount();
