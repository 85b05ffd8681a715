// The one QApplication of a test run, made on first use.
#pragma once

#include <QApplication>

namespace morvane {

inline void EnsureApplication() {
  static int argc = 1;
  static char name[] = "morvane_test";
  static char* argv[] = {name, nullptr};
  if (QApplication::instance() == nullptr) new QApplication(argc, argv);
}

}  // namespace morvane
