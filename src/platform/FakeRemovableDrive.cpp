#include "platform/FakeRemovableDrive.h"

#include <filesystem>

namespace arkelin::platform {

namespace fs = std::filesystem;

namespace {
std::string WithSlash(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

void MoveContents(const fs::path& from, const fs::path& to) {
  fs::create_directories(to);
  for (auto& e : fs::directory_iterator(from)) fs::rename(e.path(), to / e.path().filename());
}
}  // namespace

FakeRemovableDrive::FakeRemovableDrive(IDrives& real, const std::string& root, const std::string& store)
    : real_(real), root_(WithSlash(root)), store_(WithSlash(store)) {}

int FakeRemovableDrive::AddMedium(int64_t capacity, const std::string& label) {
  media_.push_back({label, capacity});
  fs::create_directories(store_ + "medium" + std::to_string(media_.size() - 1));
  return static_cast<int>(media_.size()) - 1;
}

std::string FakeRemovableDrive::FolderOf(int i) const {
  return i == inserted_ ? root_ : store_ + "medium" + std::to_string(i) + "/";
}

void FakeRemovableDrive::Insert(int i) {
  if (i == inserted_) return;
  if (inserted_ >= 0) MoveContents(root_, store_ + "medium" + std::to_string(inserted_));
  inserted_ = -1;
  if (i >= 0 && i < MediaCount()) {
    MoveContents(store_ + "medium" + std::to_string(i), root_);
    inserted_ = i;
  }
}

bool FakeRemovableDrive::Mine(const std::string& root) const { return WithSlash(root) == root_; }

std::string FakeRemovableDrive::DriveRoot(const std::string& path) {
  if (path.rfind(root_, 0) == 0 || WithSlash(path) == root_) return root_;
  return real_.DriveRoot(path);
}

DriveType FakeRemovableDrive::TypeOf(const std::string& root) {
  return Mine(root) ? DriveType::Removable : real_.TypeOf(root);
}

std::string FakeRemovableDrive::VolumeLabel(const std::string& root) {
  if (!Mine(root)) return real_.VolumeLabel(root);
  return inserted_ >= 0 ? media_[static_cast<size_t>(inserted_)].label : "";
}

int64_t FakeRemovableDrive::UsedBytes() const {
  int64_t used = 0;
  for (auto& e : fs::recursive_directory_iterator(root_))
    if (e.is_regular_file()) used += static_cast<int64_t>(e.file_size());
  return used;
}

int64_t FakeRemovableDrive::FreeSpace(const std::string& root) {
  if (!Mine(root)) return real_.FreeSpace(root);
  if (inserted_ < 0) return -1;
  return media_[static_cast<size_t>(inserted_)].capacity - UsedBytes();
}

int64_t FakeRemovableDrive::TotalSpace(const std::string& root) {
  if (!Mine(root)) return real_.TotalSpace(root);
  return inserted_ >= 0 ? media_[static_cast<size_t>(inserted_)].capacity : -1;
}

bool FakeRemovableDrive::DiskPresent(const std::string& root) {
  return Mine(root) ? inserted_ >= 0 : real_.DiskPresent(root);
}

std::vector<std::string> FakeRemovableDrive::Roots() {
  std::vector<std::string> r{root_};
  for (const std::string& x : real_.Roots()) r.push_back(x);
  return r;
}

bool FakeRemovableDrive::SetVolumeLabel(const std::string& root, const std::string& label) {
  if (AsOnLinux) return IDrives::SetVolumeLabel(root, label);
  if (!Mine(root) || inserted_ < 0) return false;
  media_[static_cast<size_t>(inserted_)].label = label;
  labelsSet.push_back(label);
  return true;
}

int FakeRemovableDrive::FormatVolume(const std::string& root, const std::string& label) {
  if (AsOnLinux) return IDrives::FormatVolume(root, label);
  if (!Mine(root) || inserted_ < 0) return -1;
  formatted.push_back(label);
  if (FormatAnswer != 0) return FormatAnswer;
  for (auto& e : fs::directory_iterator(root_)) fs::remove_all(e.path());
  media_[static_cast<size_t>(inserted_)].label = label;
  return 0;
}

}  // namespace arkelin::platform
