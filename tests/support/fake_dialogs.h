// A dialog provider for tests, in force while it lives: answers the dialogs
// from queues and records every message and question instead of showing a box.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "toolkit/dialogs.h"

namespace morvane {

class FakeDialogs : public DialogProvider {
 public:
  FakeDialogs() : previous_(&dialogs()) { setDialogProvider(this); }
  ~FakeDialogs() override { setDialogProvider(previous_); }

  // Every text shown by the message box, in order.
  QStringList messages;
  // Every question asked, and the answers to give ("No" once none is left).
  QStringList questions;
  std::deque<bool> questionAnswers;
  // Answers of the next open / save dialogs; nullopt, or none left, cancels.
  std::deque<std::optional<QString>> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  // How many times each file dialog was run.
  int openCount = 0;
  int saveCount = 0;

  void message(const QString& text) override { messages.append(text); }
  bool question(const QString& text) override {
    questions.append(text);
    return next(questionAnswers, false);
  }
  std::optional<QString> openFile(const QString&, const QString&) override {
    ++openCount;
    return next(openAnswers, {});
  }
  std::optional<QString> saveFile(const QString&, const QString&, const QString&) override {
    ++saveCount;
    return next(saveAnswers, {});
  }

  // The questions asked before closing, and their answers (Cancelar once none is left).
  QStringList saveQuestions;
  std::deque<SaveChoice> saveChoices;
  SaveChoice askSave(const QString& text) override {
    saveQuestions.append(text);
    return next(saveChoices, SaveChoice::Cancel);
  }

 private:
  // The front answer, taken off its queue; none when the queue is empty.
  template <class T>
  static T next(std::deque<T>& answers, T none) {
    if (answers.empty()) return none;
    const T answer = answers.front();
    answers.pop_front();
    return answer;
  }

  DialogProvider* previous_;
};

}  // namespace morvane
