#include "toolkit/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QStringList>

#include "toolkit/formats.h"

namespace morvane {

namespace {

QString applicationTitle() {
  const QString display = QGuiApplication::applicationDisplayName();
  return display.isEmpty() ? QCoreApplication::applicationName() : display;
}

class QtDialogs final : public DialogProvider {
 public:
  void message(const QString& text) override {
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
  }

  bool question(const QString& text) override {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("Sí"), QMessageBox::YesRole);
    box.setDefaultButton(box.addButton(QStringLiteral("No"), QMessageBox::NoRole));
    box.exec();
    return box.clickedButton() == yes;
  }

  // Qt's own dialog widget rather than the desktop's: it speaks the language of
  // Qt's translation whatever the desktop's, and behaves the same everywhere.
  // Without a name chosen in this run, it opens where the last run left it.
  std::optional<QString> openFile(const QString& filter, const QString& current) override {
    QSettings settings(QStringLiteral("Morvane"), QStringLiteral("Morvane"));
    const QString start =
        current.isEmpty() ? settings.value(QStringLiteral("abrir/carpeta")).toString() : current;
    QFileDialog dialog(QApplication::activeWindow(), QString(), start, qtFilter(filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    const QString lastFilter = settings.value(QStringLiteral("abrir/filtro")).toString();
    if (dialog.nameFilters().contains(lastFilter)) dialog.selectNameFilter(lastFilter);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QString name = dialog.selectedFiles().value(0);
    if (name.isEmpty()) return std::nullopt;
    settings.setValue(QStringLiteral("abrir/carpeta"), QFileInfo(name).absolutePath());
    settings.setValue(QStringLiteral("abrir/filtro"), dialog.selectedNameFilter());
    return name;
  }

  std::optional<QString> saveFile(const QString& filter, const QString& defaultExt,
                                  const QString& current) override {
    // The dialog knows the default extension, so the name it asks to confirm
    // before overwriting is the one that will be written.
    QFileDialog dialog(QApplication::activeWindow(), QString(), current, qtFilter(filter));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The first filter that shows files of the offered name's kind.
    const QString pattern = QStringLiteral("*.") + QFileInfo(current).suffix().toLower();
    for (const QString& entry : dialog.nameFilters()) {
      const QString patterns = entry.section(QLatin1Char('('), -1).chopped(1);
      if (patterns.split(QLatin1Char(' ')).contains(pattern)) {
        dialog.selectNameFilter(entry);
        break;
      }
    }
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExt);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty()) return std::nullopt;
    return files.first();
  }

  SaveChoice askSave(const QString& text) override {
    QMessageBox box(QMessageBox::Question, applicationTitle(), text, QMessageBox::NoButton,
                    QApplication::activeWindow());
    QPushButton* save = box.addButton(QStringLiteral("Guardar"), QMessageBox::AcceptRole);
    QPushButton* discard = box.addButton(QStringLiteral("Descartar"), QMessageBox::DestructiveRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancelar"), QMessageBox::RejectRole);
    box.setDefaultButton(save);
    box.setEscapeButton(cancel);
    box.exec();
    if (box.clickedButton() == save) return SaveChoice::Save;
    if (box.clickedButton() == discard) return SaveChoice::Discard;
    return SaveChoice::Cancel;
  }
};

QtDialogs& qtDialogs() {
  static QtDialogs instance;
  return instance;
}

DialogProvider* current = nullptr;

}  // namespace

DialogProvider& dialogs() {
  return current ? *current : qtDialogs();
}

void setDialogProvider(DialogProvider* provider) {
  current = provider;
}

void ShowMessage(const QString& text) {
  dialogs().message(text);
}

SaveChoice AskSave(const QString& text) {
  return dialogs().askSave(text);
}

bool AskYesNo(const QString& text) {
  return dialogs().question(text);
}

QString pictureFilter() {
  QStringList patterns;
  for (const QString& extension : writtenExtensions())
    patterns.append(QStringLiteral("*.") + extension);
  return QString::fromUtf8("Imagen BMP|*.bmp|Imágenes|%1|Todos los archivos|*")
      .arg(patterns.join(QLatin1Char(';')));
}

QString qtFilter(const QString& filter) {
  // "Description|patterns|Description|patterns", patterns separated by ';'.
  const QStringList parts = filter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (QString& pattern : patterns) pattern = pattern.trimmed();
    entries.append(
        QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' '))));
  }
  if (parts.size() % 2 == 1 && !parts.last().isEmpty()) entries.append(parts.last());
  return entries.join(QStringLiteral(";;"));
}

bool OpenDialog::Execute() {
  const std::optional<QString> chosen = dialogs().openFile(Filter, FileName);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

bool SaveDialog::Execute() {
  const std::optional<QString> chosen = dialogs().saveFile(Filter, DefaultExt, FileName);
  if (!chosen) return false;
  QString name = *chosen;
  if (!DefaultExt.isEmpty() && QFileInfo(name).suffix().isEmpty()) {
    if (!name.endsWith(QLatin1Char('.'))) name += QLatin1Char('.');
    name += DefaultExt;
  }
  FileName = name;
  return true;
}

}  // namespace morvane
