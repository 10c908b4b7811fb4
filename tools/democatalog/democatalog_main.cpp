// quenlor_demo_catalog FOLDER: writes a demo catalog for each record source of
// quenlor below FOLDER and prints how to start quenlor against them.

#include <cstdio>
#include <exception>
#include <filesystem>

#include "common/paths.h"
#include "tools/democatalog/demo_catalog.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  try {
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    // davureva.ini is read from the programs' folder, where quenlor lies beside this program.
    const demo::DemoFolders folders = demo::WriteDemoCatalogs(folder, common::ProgramFolder());
    std::printf("Demo catalogs written below %s. Start quenlor against them with:\n\n", folder.c_str());
    std::printf("  QUENLOR_DB_PROVIDERS='%s' VELKLOG2_HOME='%s' QUENLOR_SETTINGS_DIR='%s' %s\n\n",
                folders.providerMapping().c_str(), folders.velklog2Home.c_str(), folders.settings.c_str(),
                (common::ProgramFolder() / "quenlor").c_str());
    std::printf("Users (name / password): %s / %s, %s / %s; %s / %s may not log in to the power-quality "
                "database any more.\n",
                demo::kAdminUser, demo::kAdminPassword, demo::kOperatorUser, demo::kOperatorPassword,
                demo::kExpiredUser, demo::kExpiredPassword);
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
