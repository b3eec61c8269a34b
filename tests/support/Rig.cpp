#include "support/Rig.h"

#include <cstdio>
#include <filesystem>

#include "platform/Error.h"
#include "platform/posix/XdgPaths.h"

namespace zc::test {

std::string FixedClock::ShortDate(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d/%02d/%04d", t.day, t.month, t.year);
    return text;
}

std::string FixedClock::LongTime(const LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

Rig::Rig() {
    localDir = home / "work";
    std::filesystem::create_directories(localDir);
    std::filesystem::create_directories(posix::HandheldRoot() + "/My Documents/Pocket Zilba");
    form.fields[Field::DeviceDir] = "\\My Documents\\Pocket Zilba";
    form.fields[Field::LocalDir] = localDir;
    form.fields[Field::Server] = "127.0.0.1:9";
    form.fields[Field::Site] = "bnwck";
}

std::string Rig::DevicePath(const std::string& path) const {
    return posix::HandheldRoot() + "/" + path;
}

void Rig::DeviceFolder(const std::string& path) {
    std::filesystem::create_directories(DevicePath(path));
}

void Rig::DeviceFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(DevicePath(path)).parent_path());
    WriteFile(DevicePath(path), bytes);
}

}  // namespace zc::test
