// The modal message box and the file dialogs. Every one of them goes through one
// DialogProvider, which the tests replace to answer without a person.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace morvane {

// The answers to the question asked before closing with a result not saved.
enum class SaveChoice { Save, Discard, Cancel };

class DialogProvider {
 public:
  virtual ~DialogProvider() = default;
  virtual void message(const QString& text) = 0;
  // A question with the buttons "Sí" and "No": true for "Sí". A provider
  // that asks no one answers "No".
  virtual bool question(const QString& /*text*/) { return false; }
  // The chosen file name, or nothing when cancelled.
  virtual std::optional<QString> openFile(const QString& filter, const QString& current) = 0;
  virtual std::optional<QString> saveFile(const QString& filter, const QString& defaultExt,
                                          const QString& current) = 0;
  // "Guardar", "Descartar" or "Cancelar" (also the answer of Escape).
  virtual SaveChoice askSave(const QString& text) = 0;
};

// The provider in force (the real Qt dialogs unless a test set another).
DialogProvider& dialogs();
// Replaces the provider; nullptr brings back the Qt dialogs. Tests only.
void setDialogProvider(DialogProvider* provider);

// Modal message box: one text, one OK button, the application title as caption.
void ShowMessage(const QString& text);
// Modal question with "Sí" and "No" ("No" the default): true for "Sí".
bool AskYesNo(const QString& text);

// Asks whether to save a result before it is lost.
SaveChoice AskSave(const QString& text);

// The file dialogs' filter for pictures: BMP first (the one selected), then
// every picture format the picture object knows, then any file.
QString pictureFilter();

// Filter in the toolkit's "Description|*.ext" form, shown in Qt's syntax.
QString qtFilter(const QString& filter);

class OpenDialog {
 public:
  QString Filter;
  QString FileName;  // the chosen name, kept until the next execute
  bool Execute();
};

class SaveDialog {
 public:
  QString Filter;
  QString DefaultExt;
  QString FileName;
  bool Execute();
};

}  // namespace morvane
