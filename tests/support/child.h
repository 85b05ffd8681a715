// A window's control by its object name; an unknown name throws, so the test
// fails naming it instead of crashing.
#pragma once

#include <QObject>
#include <QString>
#include <stdexcept>
#include <string>

namespace morvane {

template <class T>
T* child(const QObject& window, const char* name) {
  T* found = window.findChild<T*>(QString::fromUtf8(name));
  if (found == nullptr) throw std::logic_error(std::string("no control named ") + name);
  return found;
}

template <class T>
T* child(const QObject* window, const char* name) {
  return child<T>(*window, name);
}

}  // namespace morvane
