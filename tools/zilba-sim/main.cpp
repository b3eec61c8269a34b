// zilba-sim: creates, docks and undocks the simulated handheld and registers the filter library.
#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>
#include <string>

#include "Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"Simulated handheld for Zilba Companion: sample data, docking, and the filter "
                 "library registration",
                 "zilba-sim"};
    app.require_subcommand(1);

    zilba_sim::CreateOptions create;
    auto* createCmd = app.add_subcommand("create", "Create a handheld with sample jobs and signatures");
    createCmd->add_option("--jobs", create.jobs, "Number of job rows")->capture_default_str();
    createCmd->add_option("--signatures", create.signatures, "Number of signature bitmaps")
        ->capture_default_str();
    createCmd->add_option("--site", create.site, "Site name stored in the handheld")
        ->capture_default_str();
    createCmd->add_flag("--force", create.force, "Replace the data of an existing handheld");
    createCmd->add_option("--device-dir", create.deviceDir, "Handheld directory")
        ->capture_default_str();

    auto* dockCmd = app.add_subcommand(
        "dock", "Dock the handheld and start the programs registered to start on connection");
    auto* undockCmd = app.add_subcommand("undock", "Undock the handheld");

    std::string statusDir = zilba_sim::kDefaultDeviceDir;
    auto* statusCmd = app.add_subcommand("status", "Show the handheld's state and contents");
    statusCmd->add_option("--device-dir", statusDir, "Handheld directory")->capture_default_str();

    std::string library;
    auto* installCmd =
        app.add_subcommand("install", "Register the filter library where the program looks for it");
    installCmd->add_option("--library", library,
                           "Path of the filter library (default: the one installed beside this tool)");

    zilba_sim::SettingsOptions settings;
    auto* settingsCmd = app.add_subcommand(
        "settings", "Store the program's settings, as a transfer stores them");
    settingsCmd->add_option("--server", settings.server, "Zilba server (host or host:port)");
    settingsCmd->add_option("--site", settings.site, "Zilba site");
    settingsCmd->add_option("--local-dir", settings.localDir, "Local directory");
    settingsCmd->add_option("--device-dir", settings.deviceDir, "Handheld directory");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "zilba-sim: " << e.what() << " (see zilba-sim --help)\n";
        return 2;
    }

    try {
        if (*createCmd) zilba_sim::Create(create);
        else if (*dockCmd) zilba_sim::Dock();
        else if (*undockCmd) zilba_sim::Undock();
        else if (*statusCmd) zilba_sim::Status(statusDir);
        else if (*installCmd) zilba_sim::Install(library);
        else if (*settingsCmd) zilba_sim::StoreSettings(settings);
    } catch (const std::exception& e) {
        std::cerr << "zilba-sim: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
