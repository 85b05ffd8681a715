#include "toolkit/convert.h"

#include "text/int_text.h"
#include "toolkit/errors.h"

namespace morvane {

std::optional<std::int32_t> TryStrToInt(const QString& text) {
  return ParseInt32(text.toStdString());
}

std::int32_t StrToInt(const QString& text) {
  if (const std::optional<std::int32_t> value = TryStrToInt(text)) return *value;
  throw ToolkitError(QStringLiteral("'%1' no es un valor entero válido").arg(text).toStdString());
}

QString IntToStr(std::int32_t value) {
  return QString::fromStdString(FormatInt32(value));
}

}  // namespace morvane
