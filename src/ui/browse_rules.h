#pragma once
// The folder browse dialog's rules, without widgets: its layout, where it opens,
// which field texts preset it, what it hands back, and which mounted volumes its
// drive list offers.
#include <string>
#include <vector>

#include "ui/layout.h"

namespace zek {

struct BrowseLayout {
  Bounds DriveComboBox, DirectoryListBox, Label1, Edit, btnCancel, btnOK;
};
// textHeight: line height of the mask edit's font; labelText: width of the
// "File Mask: " caption in that font.
BrowseLayout ComputeBrowseLayout(int32_t textHeight, int32_t labelText, int32_t clientWidth, int32_t clientHeight);

// The dialog's right edge lines up with the main window's, never left of 0.
Origin BrowsePlacement(const Bounds& mainWindow, int32_t dialogWidth);

// The directory a field's text presets the dialog to, or "" when it does not:
// only an absolute directory part in which a file can be found or created counts.
std::string BrowsePreset(const std::string& fieldText);

// The directory joined with the mask, separators never doubled.
std::string SelectedPath(const std::string& directory, const std::string& mask);

// The mounted volume that holds path: the longest root that is a prefix of it.
std::string VolumeOf(const std::string& path, const std::vector<std::string>& roots);

enum class VolumeKind { Fixed,
                        Removable,
                        Network,
                        Optical };
struct Volume {
  std::string Root;
  std::string Name;  // what a user recognises: label, else device
  VolumeKind Kind = VolumeKind::Fixed;
};
// Whether a mounted file system is one that people browse for files; pseudo file
// systems (proc, sysfs, cgroup, tmpfs under /run, ...) are not.
bool IsBrowsableVolume(const std::string& root, const std::string& fileSystemType);
VolumeKind KindOfVolume(const std::string& root, const std::string& fileSystemType, const std::string& device);

}  // namespace zek
