#pragma once
// The main window as the settings file sees it, for tests: maximizing moves it to
// the screen's corner and back, as a real window does, and every call is logged
// in order.
#include <functional>
#include <string>
#include <vector>

#include "settings/settings_file.h"

namespace zek::test {

struct FakeWindow : ISettingsWindow {
  int left = 100, top = 50, width = 640, height = 480;
  WindowState state = WindowState::Normal;
  bool includeSubDir = true;
  std::string path1 = "C:\\*.*";
  std::string path2 = "D:\\*.*";
  int closed = 0;
  std::vector<std::string> calls;
  // Runs where a load or save lets the window system work, before its first key.
  std::function<void()> OnProcessMessages;

  int Left() const override { return state == WindowState::Maximized ? 0 : left; }
  int Top() const override { return state == WindowState::Maximized ? 0 : top; }
  int Width() const override { return state == WindowState::Maximized ? 1920 : width; }
  int Height() const override { return state == WindowState::Maximized ? 1080 : height; }
  void SetLeft(int value) override { Log("Left", left = value); }
  void SetTop(int value) override { Log("Top", top = value); }
  void SetWidth(int value) override { Log("Width", width = value); }
  void SetHeight(int value) override { Log("Height", height = value); }
  WindowState State() const override { return state; }
  void SetState(WindowState value) override { Log("State", static_cast<int>(state = value)); }
  void ProcessMessages() override {
    calls.push_back("ProcessMessages");
    if (OnProcessMessages) OnProcessMessages();
  }
  bool IncludeSubDir() const override { return includeSubDir; }
  void SetIncludeSubDir(bool checked) override { includeSubDir = checked; }
  std::string Path1() const override { return path1; }
  void SetPath1(const std::string& text) override { path1 = text; }
  std::string Path2() const override { return path2; }
  void SetPath2(const std::string& text) override { path2 = text; }
  void Close() override { ++closed; }

  void Log(const char* what, int value) { calls.push_back(std::string(what) + "=" + std::to_string(value)); }
};

}  // namespace zek::test
