#include "ui/browse_rules.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "engine/path_rules.h"
#include "engine/probe.h"

namespace zek {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// True when dir is root itself or lies below it.
bool IsWithin(const std::string& dir, const std::string& root) {
  if (root == "/") return StartsWith(dir, "/");
  return StartsWith(dir, root) && (dir.size() == root.size() || dir[root.size()] == '/');
}

}  // namespace

BrowseLayout ComputeBrowseLayout(int32_t textHeight, int32_t labelText, int32_t clientWidth, int32_t clientHeight) {
  const int32_t th = textHeight;
  const int32_t w = clientWidth - 3;
  const int32_t yl = th + 15;
  const int32_t h = std::max(clientHeight - th - 53, 2 * th + yl);
  const int32_t lw = labelText + 8;
  const int32_t yb = h + th + 15;
  const int32_t bw = w / 3;
  const int32_t g = (w - 2 * bw) / 3;
  BrowseLayout l;
  l.DriveComboBox = {0, 3, w, th + 8};
  l.DirectoryListBox = {0, yl, w, h - yl - 2};
  l.Label1 = {3, h + 3, lw, th};
  l.Edit = {lw + 3, h, w - lw - 10, th + 6};
  l.btnCancel = {g, yb, bw, 31};
  l.btnOK = {2 * g + bw, yb, bw, 31};
  return l;
}

Origin BrowsePlacement(const Bounds& mainWindow, int32_t dialogWidth) {
  return {std::max(0, mainWindow.Left + mainWindow.Width - dialogWidth), mainWindow.Top};
}

std::string BrowsePreset(const std::string& fieldText) {
  const std::string dir = DirectoryPart(fieldText);
  // Windows asks for a drive letter and more; here, an absolute path (the root too).
  if (dir.empty() || dir[0] != '/') return std::string();
  // The probe leaves an existing "d1.dep" alone and removes only what it created.
  if (!ProbeFileName(dir + "/d1.dep")) return std::string();
  return dir;
}

std::string SelectedPath(const std::string& directory, const std::string& mask) {
  return RemoveDoubleBackslashes(directory + PathDelimiter() + mask);
}

std::string VolumeOf(const std::string& path, const std::vector<std::string>& roots) {
  std::string best = "/";
  for (const std::string& root : roots)
    if (root.size() > best.size() && IsWithin(path, root)) best = root;
  return best;
}

bool IsBrowsableVolume(const std::string& root, const std::string& fileSystemType) {
  if (root == "/") return true;
  static constexpr std::array<std::string_view, 20> kPseudo = {
      "proc", "sysfs", "cgroup", "cgroup2", "devpts", "devtmpfs", "mqueue",
      "debugfs", "tracefs", "securityfs", "pstore", "bpf", "configfs", "fusectl",
      "hugetlbfs", "autofs", "binfmt_misc", "efivarfs", "nsfs", "rpc_pipefs"};
  if (std::find(kPseudo.begin(), kPseudo.end(), fileSystemType) != kPseudo.end()) return false;
  for (const char* system : {"/proc", "/sys", "/dev", "/run"})
    if (IsWithin(root, system)) return fileSystemType != "tmpfs" && IsWithin(root, "/run/media");
  return true;
}

VolumeKind KindOfVolume(const std::string& root, const std::string& fileSystemType, const std::string& device) {
  for (std::string_view net : {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "9p", "afs"})
    if (fileSystemType == net) return VolumeKind::Network;
  if (StartsWith(device, "//") || device.find(":/") != std::string::npos) return VolumeKind::Network;
  if (fileSystemType == "iso9660" || fileSystemType == "udf" || StartsWith(device, "/dev/sr"))
    return VolumeKind::Optical;
  if (IsWithin(root, "/media") || IsWithin(root, "/run/media")) return VolumeKind::Removable;
  return VolumeKind::Fixed;
}

}  // namespace zek
