#include "tests/support/fake_dialogs.h"

namespace morvane {

namespace {
std::optional<QString> takeFront(std::deque<std::optional<QString>>& queue) {
  if (queue.empty()) return std::nullopt;
  const bool accepted = queue.front().has_value();
  const QString name = accepted ? *queue.front() : QString();
  queue.pop_front();
  if (!accepted) return std::nullopt;
  return name;
}
}  // namespace

FakeDialogs::FakeDialogs() : previous_(&dialogs()) {
  setDialogProvider(this);
}

FakeDialogs::~FakeDialogs() {
  setDialogProvider(previous_);
}

void FakeDialogs::message(const QString& text) {
  messages.append(text);
}

std::optional<QString> FakeDialogs::openFile(const QString& filter, const QString& current) {
  ++openCount;
  lastFilter = filter;
  lastCurrent = current;
  return takeFront(openAnswers);
}

std::optional<QString> FakeDialogs::saveFile(const QString& filter, const QString& defaultExt,
                                             const QString& current) {
  ++saveCount;
  lastFilter = filter;
  lastDefaultExt = defaultExt;
  lastCurrent = current;
  return takeFront(saveAnswers);
}

}  // namespace morvane
