#include "app/workbench/workbench_test_support.h"

#include <cstdlib>
#include <fstream>

namespace ok::test {

std::vector<std::string> TFakeDriveTable::MountPoints() const {
  std::vector<std::string> points;
  for (const TDrive& d : Drives) points.push_back(d.MountPoint);
  return points;
}

uint64_t TFakeDriveTable::FreeBytes(const std::string& mountPoint) const {
  for (const TDrive& d : Drives)
    if (d.MountPoint == mountPoint) return d.FreeBytes;
  return 0;
}

std::string ShippedProfilesDir() { return SourceDir() + "/profiles"; }

TWorkbenchHarness::TWorkbenchHarness(bool copyProfiles) {
  if (const char* home = std::getenv("OSTRELKALVEXA_HOME")) {
    hadHome_ = true;
    savedHome_ = home;
  }
  ::setenv("OSTRELKALVEXA_HOME", Folder.Path().c_str(), 1);
  if (copyProfiles) fs::copy(ShippedProfilesDir(), Folder.Path() / "profiles", fs::copy_options::recursive);
  fs::create_directory(Folder.Path() / "drive");
  Drives.Drives = {{Folder / "drive", 1000}};
}

TWorkbenchHarness::~TWorkbenchHarness() {
  model_.reset();
  if (hadHome_)
    ::setenv("OSTRELKALVEXA_HOME", savedHome_.c_str(), 1);
  else
    ::unsetenv("OSTRELKALVEXA_HOME");
}

std::string TWorkbenchHarness::Home() const { return Folder.Path().string() + "/"; }

void TWorkbenchHarness::WriteConfig(const std::string& text) const {
  std::ofstream(ConfigFile(), std::ios::binary) << text;
}

TWorkbench& TWorkbenchHarness::NewModel(bool start) {
  model_.reset();
  TWorkbenchEnvironment environment;
  environment.Drives = &Drives;
  environment.Encoders = Encoders;
  model_ = std::make_unique<TWorkbench>(View, environment);
  if (start) {
    model_->OnCreate();
    model_->OnShow();
  }
  return *model_;
}

}  // namespace ok::test
