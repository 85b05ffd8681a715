#include "toolkit/guard.h"

#include <new>

#include "toolkit/dialogs.h"

namespace morvane {

namespace {

QString messageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return QStringLiteral("No hay memoria suficiente para esta operación");
  } catch (const std::exception& e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QString();
  }
}

}  // namespace

void showError(std::exception_ptr error) {
  if (!error) return;
  try {
    ShowMessage(messageOf(error));
  } catch (...) {
    // The error display itself failed (no memory for the box): nothing more can be shown.
  }
}

}  // namespace morvane
