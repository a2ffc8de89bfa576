#pragma once
// A DialogHost without a toolkit: a small model of a dialog's controls that
// records every call as one line of text ("SetTimer 1 1200") and keeps what
// a real dialog would show, so tests read it back:
//   - item texts, checks, enabled state and colour-label colours;
//   - the progress bar's range, position, step, colours and caption mode,
//     answering its PBM_* messages, and the caption it would draw;
//   - the combo box's selection (CB_GETCURSEL / CB_SETCURSEL);
//   - the timers running and every start;
//   - what was painted: each UpdateWindow, and each SetTextColor (a colour
//     label repaints at once), records the item's text then. A text change
//     alone only invalidates, as in the real hosts, so it paints nothing.
// Built from a template, the items start with the template's captions,
// disabled state and combo entries. Message boxes and the chooser answer
// from scripts.

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "gui/bar_math.h"
#include "gui/dialog_host.h"
#include "gui/dialog_template.h"
#include "gui/window_styles.h"

namespace kavlen::test {

class RecordingDialogHost : public DialogHost {
 public:
  using Bar = BarState;
  struct Paint {
    int id;
    std::string text;
    COLORREF colour;
  };
  struct Box {
    std::string text, caption;
    unsigned type;
  };
  struct Chooser {
    std::string title, filter;
  };

  RecordingDialogHost() = default;
  explicit RecordingDialogHost(const DialogTemplate& tpl) {
    int groupFirst = 0;
    for (const ControlTemplate& c : tpl.controls) {
      if (c.id == -1) continue;
      kinds[c.id] = c.kind;
      enabled[c.id] = (c.style & WS_DISABLED) == 0;
      // The bar does not show its template caption; a combo starts empty.
      if (c.kind == ControlKind::PercentBar) bars[c.id];
      else if (c.kind == ControlKind::ComboBox) comboEntries[c.id] = static_cast<int>(c.items.size());
      else texts[c.id] = c.caption;
      if (c.kind == ControlKind::AutoRadioButton) {
        if (groupFirst == 0 || (c.style & WS_GROUP)) groupFirst = c.id;
        radioGroup[c.id] = groupFirst;
      } else {
        groupFirst = 0;
      }
    }
  }

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
    enabled[id] = enable;
    Log("EnableWindow " + std::to_string(id) + " " + std::to_string(enable));
  }
  void SetTextColor(int id, COLORREF colour) override {
    colours[id] = colour;
    Log("SetTextColor " + std::to_string(id) + " " + std::to_string(colour));
    painted.push_back({id, GetDlgItemText(id), colour});
  }
  LRESULT SendDlgItemMessage(int id, unsigned message, WPARAM wParam, LPARAM lParam) override {
    Log("SendDlgItemMessage " + std::to_string(id) + " " + std::to_string(message) + " " +
        std::to_string(wParam) + " " + std::to_string(lParam));
    if (comboEntries.count(id) != 0) return ComboMessage(id, message, wParam);
    LRESULT result = 0;
    BarChange change = BarChange::Nothing;
    AnswerBarMessage(bars[id], message, wParam, lParam, result, change);
    return result;
  }
  void UpdateWindow(int id) override {
    Log("UpdateWindow " + std::to_string(id));
    painted.push_back({id, GetDlgItemText(id), Colour(id)});
  }
  bool SetTimer(int id, unsigned periodMs) override {
    Log("SetTimer " + std::to_string(id) + " " + std::to_string(periodMs));
    if (!timersStart || refusedTimers.count(id) != 0) return false;
    timersStarted.emplace_back(id, static_cast<int>(periodMs));
    timersRunning.insert(id);
    return true;
  }
  void KillTimer(int id) override {
    Log("KillTimer " + std::to_string(id));
    timersRunning.erase(id);
  }
  int MessageBox(const std::string& text, const std::string& caption, unsigned type) override {
    Log("MessageBox " + caption + " " + std::to_string(type) + " " + text);
    boxes.push_back({text, caption, type});
    if (boxAnswers.empty()) return IDOK;
    const int answer = boxAnswers.front();
    boxAnswers.pop_front();
    return answer;
  }
  std::string GetOpenFileName(const std::string& title, const std::string& filter) override {
    Log("GetOpenFileName " + title + " " + filter);
    choosers.push_back({title, filter});
    if (fileAnswers.empty()) return {};
    const std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }
  bool ShellOpen(const std::string& target) override {
    Log("ShellOpen " + target);
    shellTargets.push_back(target);
    return true;
  }
  void EndDialog(int result) override {
    Log("EndDialog " + std::to_string(result));
    endResults.push_back(result);
  }

  // ---- reading the model back ----
  COLORREF Colour(int id) const {
    const auto found = colours.find(id);
    return found == colours.end() ? RGB(0, 0, 0) : found->second;
  }
  bool Enabled(int id) const {
    const auto found = enabled.find(id);
    return found == enabled.end() || found->second;
  }
  // The checked radio button among first..last, or 0.
  int CheckedRadio(int first, int last) const {
    for (int id = first; id <= last; ++id)
      if (IsDlgButtonChecked(id)) return id;
    return 0;
  }
  int ComboSelection(int id) const {
    const auto found = comboSelection.find(id);
    return found == comboSelection.end() ? -1 : found->second;
  }
  // What the bar draws over itself: nothing with the caption off, its
  // window text when it has one, else the percentage of its range.
  std::string Caption(int id) const {
    const Bar& bar = bars.at(id);
    if (!bar.showCaption) return {};
    if (!GetDlgItemText(id).empty()) return GetDlgItemText(id);
    return std::to_string(TruncToInt(BarFraction(bar.pos, bar.min, bar.max) * 100.0)) + "%";
  }
  // The texts item `id` showed at its paints, in order.
  std::vector<std::string> PaintedTexts(int id) const {
    std::vector<std::string> seen;
    for (const Paint& p : painted)
      if (p.id == id) seen.push_back(p.text);
    return seen;
  }
  std::string LastPainted(int id) const {
    const std::vector<std::string> seen = PaintedTexts(id);
    return seen.empty() ? std::string() : seen.back();
  }
  // A click as the toolkit delivers it: an auto radio button checks itself
  // and clears its group, a check box toggles, then the command goes out.
  void ClickEffect(int id) {
    const auto kind = kinds.find(id);
    if (kind == kinds.end()) return;
    if (kind->second == ControlKind::AutoRadioButton) {
      const int first = radioGroup.at(id);
      int last = first;
      while (radioGroup.count(last + 1) != 0 && radioGroup.at(last + 1) == first) ++last;
      checks[id] = true;
      for (int other = first; other <= last; ++other)
        if (other != id) checks[other] = false;
    } else if (kind->second == ControlKind::AutoCheckBox) {
      checks[id] = !IsDlgButtonChecked(id);
    }
  }

  std::vector<std::string> calls;
  std::map<int, std::string> texts;
  std::map<int, bool> checks;
  std::map<int, bool> enabled;
  std::map<int, COLORREF> colours;
  std::map<int, Bar> bars;
  std::map<int, int> comboEntries;
  std::map<int, int> comboSelection;
  std::map<int, ControlKind> kinds;
  std::map<int, int> radioGroup;  // radio id -> first id of its group
  std::vector<Paint> painted;
  std::vector<std::pair<int, int>> timersStarted;  // id, period
  std::set<int> timersRunning;
  std::set<int> refusedTimers;
  std::vector<Box> boxes;
  std::vector<Chooser> choosers;
  std::vector<std::string> shellTargets;
  std::vector<int> endResults;
  std::deque<int> boxAnswers;          // IDOK when empty
  std::deque<std::string> fileAnswers;  // cancel when empty
  bool timersStart = true;

 private:
  void Log(const std::string& line) { calls.push_back(line); }

  LRESULT ComboMessage(int id, unsigned message, WPARAM wParam) {
    if (message == CB_GETCURSEL) return ComboSelection(id) < 0 ? CB_ERR : ComboSelection(id);
    if (message != CB_SETCURSEL) return 0;
    const int index = static_cast<int>(wParam);
    const bool valid = index >= 0 && index < comboEntries[id];
    comboSelection[id] = valid ? index : -1;
    return valid ? index : CB_ERR;
  }
};

}  // namespace kavlen::test
