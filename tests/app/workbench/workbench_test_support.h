#pragma once
// A workbench model over the fake view in a program folder of its own: OSTRELKALVEXA_HOME points
// at a temporary folder holding a copy of the shipped profiles, and the drives are a fake table.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/workbench/fake_view.h"
#include "app/workbench/workbench.h"
#include "platform/drives.h"
#include "support/test_support.h"

namespace ok::test {

class TFakeDriveTable : public TDriveTable {
 public:
  struct TDrive {
    std::string MountPoint;
    uint64_t FreeBytes = 0;
  };
  std::vector<TDrive> Drives;
  std::string System = "/";

  std::vector<std::string> MountPoints() const override;
  uint64_t FreeBytes(const std::string& mountPoint) const override;
  std::string SystemDrive() const override { return System; }
};

// The shipped catalogue in the checkout.
std::string ShippedProfilesDir();

class TWorkbenchHarness {
 public:
  // With `copyProfiles` the program folder gets the shipped catalogue. The one fake drive is the
  // folder "drive" inside the program folder, so the default output folder is made there.
  explicit TWorkbenchHarness(bool copyProfiles = true);
  ~TWorkbenchHarness();
  TWorkbenchHarness(const TWorkbenchHarness&) = delete;
  TWorkbenchHarness& operator=(const TWorkbenchHarness&) = delete;

  // The program folder, with a trailing "/".
  std::string Home() const;
  std::string ConfigFile() const { return Home() + "config.ini"; }
  std::string ExtFile() const { return Home() + "extfile.ini"; }
  // Writes "config.ini" with `text` as it is (bytes).
  void WriteConfig(const std::string& text) const;

  // A fresh model over View; OnCreate and OnShow have run when `start` is true.
  TWorkbench& NewModel(bool start = true);
  TWorkbench& Model() { return *model_; }

  TempDir Folder;
  TFakeDriveTable Drives;
  TFakeView View;
  const std::vector<std::string>* Encoders =
      nullptr;  // the encoders the next model sees; null: the libraries'

 private:
  std::string savedHome_;
  bool hadHome_ = false;
  std::unique_ptr<TWorkbench> model_;
};

}  // namespace ok::test
