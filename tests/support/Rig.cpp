#include "support/Rig.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/posix/XdgPaths.h"
#include "support/Process.h"

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
    fs::create_directories(localDir);
    fs::create_directories(DevicePath("My Documents/Pocket Zilba"));
    form.fields[Field::DeviceDir] = "\\My Documents\\Pocket Zilba";
    form.fields[Field::LocalDir] = localDir;
    form.fields[Field::Server] = "127.0.0.1:9";
    form.fields[Field::Site] = "bnwck";
}

std::string Rig::DevicePath(const std::string& path) const { return posix::HandheldRoot() + "/" + path; }

void Rig::DeviceFile(const std::string& path, const std::string& bytes) {
    fs::create_directories(fs::path(DevicePath(path)).parent_path());
    WriteFile(DevicePath(path), bytes);
}

void MakeHandheld(int jobs, int signatures, const std::string& site) {
    const std::string sim = std::string(ZC_BIN_DIR) + "/zilba-sim";
    EXPECT_EQ(RunProcess({sim, "install", "--library", std::string(ZC_LIB_DIR) + "/libzc_adofilter.so"}).exitCode, 0);
    std::vector<std::string> create{sim, "create", "--force", "--jobs", std::to_string(jobs), "--signatures",
                                    std::to_string(signatures)};
    if (!site.empty()) create.insert(create.end(), {"--site", site});
    EXPECT_EQ(RunProcess(create).exitCode, 0);
}

}  // namespace zc::test
