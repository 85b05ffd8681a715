// A dialog provider for tests: answers the file dialogs from queues and records
// every message instead of showing a box. Constructing one puts it in force;
// destroying it brings back the provider that was in force before.
//
//   FakeDialogs fake;
//   fake.openAnswers.push_back(QStringLiteral("/tmp/x.bmp"));  // next open dialog
//   fake.saveAnswers.push_back(std::nullopt);                  // next save: cancel
//   ... run the command ...
//   EXPECT_EQ(fake.messages, QStringList{"Hay una imagen cargada"});
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
  FakeDialogs(const FakeDialogs&) = delete;
  FakeDialogs& operator=(const FakeDialogs&) = delete;

  // Every text shown by the message box, in order.
  QStringList messages;
  // Every question asked, in order, and the answers to give ("No" once the
  // queue is empty).
  QStringList questions;
  std::deque<bool> questionAnswers;
  // Answers of the next open / save dialogs, front first. A nullopt answer, or
  // an empty queue, is a cancel.
  std::deque<std::optional<QString>> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  // How many times each file dialog was run.
  int openCount = 0;
  int saveCount = 0;

  void message(const QString& text) override { messages.append(text); }
  bool question(const QString& text) override {
    questions.append(text);
    if (questionAnswers.empty()) return false;
    const bool answer = questionAnswers.front();
    questionAnswers.pop_front();
    return answer;
  }
  std::optional<QString> openFile(const QString&, const QString&) override {
    ++openCount;
    return next(openAnswers);
  }
  std::optional<QString> saveFile(const QString&, const QString&, const QString&) override {
    ++saveCount;
    return next(saveAnswers);
  }

  // Texts of the questions asked before closing, and their answers, front
  // first; an empty queue answers Cancelar.
  QStringList saveQuestions;
  std::deque<SaveChoice> saveChoices;
  SaveChoice askSave(const QString& text) override {
    saveQuestions.append(text);
    if (saveChoices.empty()) return SaveChoice::Cancel;
    const SaveChoice choice = saveChoices.front();
    saveChoices.pop_front();
    return choice;
  }

 private:
  static std::optional<QString> next(std::deque<std::optional<QString>>& answers) {
    if (answers.empty() || !answers.front()) {
      if (!answers.empty()) answers.pop_front();
      return std::nullopt;
    }
    const QString answer = *answers.front();
    answers.pop_front();
    return answer;
  }

  DialogProvider* previous_;
};

}  // namespace morvane
