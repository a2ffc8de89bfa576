#pragma once
// A DialogHost without a toolkit: it records every call as one line of
// text ("SetTimer 1 1200") and keeps item texts, checks and colours so the
// logic can read back what it wrote. Answers come from a script.

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "gui/dialog_host.h"

namespace kavlen::test {

class RecordingDialogHost : public DialogHost {
 public:
  void SetDlgItemText(int id, const std::string& text) override {
    texts[id] = text;
    Log("SetDlgItemText " + std::to_string(id) + " " + text);
  }
  std::string GetDlgItemText(int id) const override {
    const auto found = texts.find(id);
    return found == texts.end() ? std::string() : found->second;
  }
  void CheckDlgButton(int id, bool checked) override {
    checks[id] = checked;
    Log("CheckDlgButton " + std::to_string(id) + " " + std::to_string(checked));
  }
  bool IsDlgButtonChecked(int id) const override {
    const auto found = checks.find(id);
    return found != checks.end() && found->second;
  }
  void CheckRadioButton(int first, int last, int check) override {
    for (int id = first; id <= last; ++id) checks[id] = id == check;
    Log("CheckRadioButton " + std::to_string(first) + " " + std::to_string(last) + " " +
        std::to_string(check));
  }
  void EnableWindow(int id, bool enable) override {
    Log("EnableWindow " + std::to_string(id) + " " + std::to_string(enable));
  }
  void SetTextColor(int id, COLORREF colour) override {
    colours[id] = colour;
    Log("SetTextColor " + std::to_string(id) + " " + std::to_string(colour));
  }
  LRESULT SendDlgItemMessage(int id, unsigned message, WPARAM wParam, LPARAM lParam) override {
    Log("SendDlgItemMessage " + std::to_string(id) + " " + std::to_string(message) + " " +
        std::to_string(wParam) + " " + std::to_string(lParam));
    return 0;
  }
  void UpdateWindow(int id) override { Log("UpdateWindow " + std::to_string(id)); }
  bool SetTimer(int id, unsigned periodMs) override {
    Log("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
    return timersStart;
  }
  void KillTimer(int id) override { Log("KillTimer " + std::to_string(id)); }
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    Log("MessageBox " + caption + " " + std::to_string(type) + " " + text);
    return IDOK;
  }
  std::string GetOpenFileName(const std::string& title, const std::string& filter) override {
    Log("GetOpenFileName " + title + " " + filter);
    if (fileAnswers.empty()) return {};
    const std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
  bool ShellOpen(const std::string& target) override {
    Log("ShellOpen " + target);
    return true;
  }
  void EndDialog(int result) override { Log("EndDialog " + std::to_string(result)); }

  std::vector<std::string> calls;
  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::map<int, COLORREF> colours;
  std::deque<std::string> fileAnswers;  // cancel when empty
  bool timersStart = true;

 private:
  void Log(const std::string& line) { calls.push_back(line); }
};

}  // namespace kavlen::test
