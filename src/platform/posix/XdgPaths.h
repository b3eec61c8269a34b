#pragma once
// Where the Linux layer keeps its files, after the XDG base directories.
#include <string>

namespace zc::posix {

std::string HomeDir();        // $HOME, else the password database
std::string ConfigHome();     // $XDG_CONFIG_HOME, else ~/.config
std::string DataHome();       // $XDG_DATA_HOME, else ~/.local/share
std::string RuntimeDir();     // $XDG_RUNTIME_DIR when usable, else a private folder of the user in the temp folder
std::string RegistryFile();   // <config>/zilba-companion/registry.db
std::string HandheldRoot();   // <data>/zilba-companion/handheld
std::string UndockedMarker(); // <data>/zilba-companion/undocked

// Creates the folder and its missing parents; false when that fails.
bool MakeFolders(const std::string& path);
// Gives a file made under a temporary name the mode a plainly created file would have: read
// and write as the user's umask allows.
void FollowUmask(int fd);
unsigned CurrentUmask();

}  // namespace zc::posix
