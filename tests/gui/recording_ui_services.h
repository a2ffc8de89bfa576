#pragma once
// A UiServices that records every message box, file chooser and opened
// target instead of showing anything, and answers from a script.

#include <QString>

#include <deque>
#include <vector>

#include "gui/qt/ui_services.h"

namespace kavlen {

class RecordingUiServices : public UiServices {
 public:
  struct MessageBoxCall {
    QWidget* owner;
    QString text;
    QString caption;
    unsigned type;
  };
  struct FileDialogCall {
    QWidget* owner;
    QString caption;
    QString directory;
    QString filter;
  };

  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned type) override {
    messageBoxes.push_back({owner, text, caption, type});
    if (messageBoxAnswers.empty()) return IDOK;
    const int answer = messageBoxAnswers.front();
    messageBoxAnswers.pop_front();
    return answer;
  }

  QString GetOpenFileName(QWidget* owner, const QString& caption, const QString& directory,
                          const QString& filter) override {
    fileDialogs.push_back({owner, caption, directory, filter});
    if (fileAnswers.empty()) return {};
    const QString answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
  }

  bool OpenUrl(const QString& target) override {
    openedTargets.push_back(target);
    return openUrlResult;
  }

  std::vector<MessageBoxCall> messageBoxes;
  std::vector<FileDialogCall> fileDialogs;
  std::vector<QString> openedTargets;

  std::deque<int> messageBoxAnswers;  // IDOK when empty
  std::deque<QString> fileAnswers;    // cancel (empty) when empty
  bool openUrlResult = true;
};

}  // namespace kavlen
