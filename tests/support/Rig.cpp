#include "support/Rig.h"

#include <cstdio>

#include "platform/posix/XdgPaths.h"

namespace zc::test {

std::string FixedClock::ShortDate(const LocalDateTime& t) {
    char text[32];
    const char* format = style == Style::Dotted ? "%02d.%02d.%04d" : "%02d/%02d/%04d";
    if (style == Style::MonthDayYear) std::snprintf(text, sizeof text, "%d/%d/%04d", t.month, t.day, t.year);
    else std::snprintf(text, sizeof text, format, t.day, t.month, t.year);
    return text;
}

std::string FixedClock::LongTime(const LocalDateTime& t) {
    char text[32];
    if (style == Style::MonthDayYear)
        std::snprintf(text, sizeof text, "%d:%02d:%02d %s", (t.hour + 11) % 12 + 1, t.minute, t.second,
                      t.hour < 12 ? "AM" : "PM");
    else std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
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

}  // namespace zc::test
