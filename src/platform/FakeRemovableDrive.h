// A test double of a removable drive with changing media.
//
// The drive's root is a folder; every medium is a folder of its own kept
// aside, with a label and a capacity. Insert(i) takes the medium in the
// drive out (its files go back to its own folder) and puts medium i in
// (its files appear under the root). Labels are set on the medium in the
// drive; FormatVolume empties it and answers FormatAnswer. Paths outside
// the root are answered by the real drives.
#pragma once

#include <string>
#include <vector>

#include "platform/Platform.h"

namespace arkelin::platform {

class FakeRemovableDrive : public IDrives {
 public:
  // `root` and `store` are existing folders; media are kept under store.
  FakeRemovableDrive(IDrives& real, const std::string& root, const std::string& store);

  struct Medium {
    std::string label;
    int64_t capacity = 0;
  };
  // Adds an empty medium (not inserted); answers its index.
  int AddMedium(int64_t capacity, const std::string& label = "");
  // Puts medium i in the drive (-1: none).
  void Insert(int i);
  int Inserted() const { return inserted_; }
  const Medium& MediumAt(int i) const { return media_[static_cast<size_t>(i)]; }
  int MediaCount() const { return static_cast<int>(media_.size()); }
  // The folder holding medium i's files while it is out of the drive (the
  // root while it is in).
  std::string FolderOf(int i) const;

  int FormatAnswer = 0;               // 0 formatted, -1 failed, -2 cancelled
  // Answers labels and formats as the Linux platform does: no labels, and
  // every format fails (the media still change).
  bool AsOnLinux = false;
  std::vector<std::string> formatted;  // labels asked for by each format
  std::vector<std::string> labelsSet;

  std::string DriveRoot(const std::string& path) override;
  DriveType TypeOf(const std::string& root) override;
  std::string VolumeLabel(const std::string& root) override;
  int64_t FreeSpace(const std::string& root) override;
  int64_t TotalSpace(const std::string& root) override;
  bool DiskPresent(const std::string& root) override;
  // The drive's root first, then the real ones.
  std::vector<std::string> Roots() override;
  bool LabelsSupported(const std::string& root) override {
    return AsOnLinux ? IDrives::LabelsSupported(root) : Mine(root);
  }
  bool SetVolumeLabel(const std::string& root, const std::string& label) override;
  int FormatVolume(const std::string& root, const std::string& label) override;

 private:
  bool Mine(const std::string& root) const;
  int64_t UsedBytes() const;
  IDrives& real_;
  std::string root_;   // with a trailing "/"
  std::string store_;
  std::vector<Medium> media_;
  int inserted_ = -1;
};

}  // namespace arkelin::platform
