#pragma once
// A plain stand-in for the main window that records what a run shows.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/run_interfaces.h"
#include "settings/plain_run_inputs.h"

namespace zek::test {

class RecordingView : public IRunView {
 public:
  std::vector<std::string> Lines;
  std::map<StatusLabel, std::string> Labels;
  std::vector<std::pair<StatusLabel, std::string>> LabelHistory;
  std::pair<int, int> Range{0, 100};
  std::vector<int> Positions;  // every position set, in order
  int Dispatches = 0;
  // Runs inside AppendMessage, as a click handler runs during a dispatch.
  std::function<void(const std::string&)> OnLine;

  void ClearMessages() override { Lines.clear(); }
  void AppendMessage(const std::string& line) override {
    Lines.push_back(line);
    if (OnLine) OnLine(line);
  }
  void SetLabel(StatusLabel label, const std::string& caption) override {
    Labels[label] = caption;
    LabelHistory.emplace_back(label, caption);
  }
  void SetProgressRange(int minimum, int maximum) override { Range = {minimum, maximum}; }
  void SetProgressPosition(int position) override { Positions.push_back(position); }
  void Repaint() override {}
  void ProcessMessages() override { ++Dispatches; }
};

using PlainInputs = TPlainRunInputs;

}  // namespace zek::test
