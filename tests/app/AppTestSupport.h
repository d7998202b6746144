// Helpers shared by the window tests: a private working directory per test (the program
// reads VexilDevP.ini from the current directory), whole-file access, a driver that
// answers modal dialogs from a timer, and lookup of controls by objectName.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>

#include "messaging/UdpEndpoint.h"

class TMainForm;

namespace vexil::app::test {

/// A fresh temporary directory made the current directory for the lifetime of the
/// object; the previous current directory comes back afterwards.
class WorkingDirectory {
 public:
  WorkingDirectory();
  /// A directory whose name starts with `namePrefix` (any characters).
  explicit WorkingDirectory(const QString& namePrefix);
  ~WorkingDirectory();
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  bool isValid() const { return valid_; }
  QString path() const { return dir_.path(); }
  /// Path of the settings file in this directory.
  QString iniPath() const;
  /// Writes `bytes` as the settings file, replacing it.
  void writeIni(const QByteArray& bytes) const;
  /// The settings file's bytes; empty when it does not exist.
  QByteArray readIni() const;
  bool iniExists() const;

 private:
  QTemporaryDir dir_;
  QString previous_;
  bool valid_ = false;
};

/// The `key=value` lines of the settings file (CRLF or LF), section headers included,
/// each without its line ending.
QStringList iniLines(const QByteArray& bytes);

/// The value of `key` in `section` of an INI text, matched as the program writes them;
/// a null string when missing.
QString iniValue(const QByteArray& bytes, const QString& section, const QString& key);

/// Answers modal dialogs one per timer tick, in the order they appear. An action gets
/// the active modal widget and must leave it by a queued call (a click or a close that
/// runs after the action returns), because a dialog's exec returns only after the
/// callback that closed it has returned. The next action runs once a different modal
/// widget is active (the dialog closed, or a nested one opened). A dialog that appears
/// when no action is left, or stays open five seconds after its action, is rejected and
/// recorded in unexpected().
class ModalDriver : public QObject {
  Q_OBJECT
 public:
  using Action = std::function<void(QWidget* modal)>;

  ModalDriver();
  void then(Action action) { actions_.push_back(std::move(action)); }
  bool done() const { return actions_.empty(); }
  /// Class names of dialogs no action was left for.
  const QStringList& unexpected() const { return unexpected_; }

 private:
  void tick();

  QTimer timer_;
  std::deque<Action> actions_;
  QPointer<QWidget> handled_;  // the modal widget the last action was given
  QElapsedTimer handledFor_;
  QStringList unexpected_;
};

/// Clicks `button` after the current callback returns.
void clickLater(QWidget* button);
/// Answers an input prompt with `text` and OK, after the current callback returns.
void answerPrompt(QWidget* modal, const QString& text);
/// Cancels an input prompt.
void cancelPrompt(QWidget* modal);
/// Records a message box's text into `text` and presses its OK button.
void acknowledgeMessage(QWidget* modal, QString* text);

/// The child of `root` named `name` of type T, or null.
template <typename T>
T* child(const QObject* root, const QString& name) {
  return root->findChild<T*>(name);
}

using vexil::freeLoopbackPort;

}  // namespace vexil::app::test
