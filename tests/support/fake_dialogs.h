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
  FakeDialogs();
  ~FakeDialogs() override;
  FakeDialogs(const FakeDialogs&) = delete;
  FakeDialogs& operator=(const FakeDialogs&) = delete;

  // Every text shown by the message box, in order.
  QStringList messages;
  // Answers of the next open / save dialogs, front first. A nullopt answer, or
  // an empty queue, is a cancel.
  std::deque<std::optional<QString>> openAnswers;
  std::deque<std::optional<QString>> saveAnswers;
  // How many times each file dialog was run, and what the last one was given.
  int openCount = 0;
  int saveCount = 0;
  QString lastFilter;
  QString lastDefaultExt;
  QString lastCurrent;

  void message(const QString& text) override;
  std::optional<QString> openFile(const QString& filter, const QString& current) override;
  std::optional<QString> saveFile(const QString& filter, const QString& defaultExt,
                                  const QString& current) override;

 private:
  DialogProvider* previous_;
};

}  // namespace morvane
