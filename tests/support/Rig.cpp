#include "support/Rig.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "core/Startup.h"
#include "platform/posix/XdgPaths.h"
#include "runs/Runs.h"

namespace zc::test {

namespace {

// A handheld made by the built zilba-sim, with the built filter library registered where the
// program looks for it; `site` empty keeps zilba-sim's default.
void MakeHandheld(int jobs, int signatures, const std::string& site) {
    auto sim = [](const std::string& args) {
        return std::system(("'" ZC_BIN_DIR "/zilba-sim' " + args + " >/dev/null").c_str());
    };
    EXPECT_EQ(sim("install --library '" ZC_LIB_DIR "/libzc_adofilter.so'"), 0);
    EXPECT_EQ(sim("create --force --jobs " + std::to_string(jobs) + " --signatures " + std::to_string(signatures) +
                  (site.empty() ? "" : " --site " + site)),
              0);
}

}  // namespace

Rig::Rig() {
    registry.standardUser = true;
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

TransferRig::TransferRig(int jobs, int signatures, const std::string& site, StandInServer* shared)
    : own(shared ? nullptr
                 : std::make_unique<StandInServer>(std::string(ZC_BIN_DIR) + "/zilba-server", home / "server",
                                                   home / "server.log")),
      server(shared ? *shared : *own) {
    MakeHandheld(jobs, signatures, site);
    EXPECT_EQ(Form_Load(f, ProgramSteps()), StartOutcome::Run);
    form.fields[Field::LocalDir] = localDir;
    form.fields[Field::Server] = server.host();
    if (!site.empty()) form.fields[Field::Site] = site;
    world.handheld = DevicePath("My Documents/Pocket Zilba");
    world.localDir = localDir;
    world.served = server.data() + (site.empty() ? "" : "/zilba/" + site);
}

TransferRig::~TransferRig() { Form_Unload(f, ProgramSteps()); }

std::string TransferRig::Transfer(const std::string& chosen) {
    form.messages.clear();
    form.chosenFiles = {chosen};
    chosen.empty() ? cmdTransfer_Click(f) : cmdResend_Click(f);
    EXPECT_EQ(form.messages.size(), 1u) << form.LogText();
    std::string box = form.messages.empty() ? "" : form.messages.back();
    EXPECT_EQ(Breaches(world, box), std::vector<std::string>{}) << form.LogText();
    return box;
}

std::map<std::string, std::string> TransferRig::Served() const {
    std::map<std::string, std::string> files;
    for (const auto& [name, path] : FilesBelow(world.served)) files[name] = ReadFile(path);
    return files;
}

}  // namespace zc::test
