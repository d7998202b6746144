#include "tests/app/AppTestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QMessageBox>
#include <QMetaObject>

#include "messaging/UdpEndpoint.h"

namespace vexil::app::test {

namespace {
constexpr int kDriverTickMs = 15;
constexpr qint64 kStuckDialogMs = 5000;
const QString kIniName = QStringLiteral("VexilDevP.ini");
}  // namespace

WorkingDirectory::WorkingDirectory() : previous_(QDir::currentPath()) {
  valid_ = dir_.isValid() && QDir::setCurrent(dir_.path());
}

WorkingDirectory::WorkingDirectory(const QString& namePrefix)
    : dir_(QDir(QDir::tempPath()).filePath(namePrefix + QStringLiteral("-XXXXXX"))),
      previous_(QDir::currentPath()) {
  valid_ = dir_.isValid() && QDir::setCurrent(dir_.path());
}

WorkingDirectory::~WorkingDirectory() {
  QDir::setCurrent(previous_);
  // A test may leave the file read-only; the directory is removed all the same.
  QFile::setPermissions(iniPath(), QFile::ReadOwner | QFile::WriteOwner);
}

QString WorkingDirectory::iniPath() const { return QDir(dir_.path()).filePath(kIniName); }

void WorkingDirectory::writeIni(const QByteArray& bytes) const {
  QFile file(iniPath());
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
}

QByteArray WorkingDirectory::readIni() const {
  QFile file(iniPath());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WorkingDirectory::iniExists() const { return QFile::exists(iniPath()); }

QStringList iniLines(const QByteArray& bytes) {
  QString text = QString::fromLatin1(bytes);
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  QStringList lines = text.split(QLatin1Char('\n'));
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  return lines;
}

QString iniValue(const QByteArray& bytes, const QString& section, const QString& key) {
  QString current;
  for (const QString& line : iniLines(bytes)) {
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
      current = line.mid(1, line.size() - 2);
      continue;
    }
    const qsizetype equals = line.indexOf(QLatin1Char('='));
    if (equals < 0) continue;
    if (current.compare(section, Qt::CaseInsensitive) == 0 &&
        line.left(equals).compare(key, Qt::CaseInsensitive) == 0) {
      return line.mid(equals + 1);
    }
  }
  return QString();
}

ModalDriver::ModalDriver() {
  connect(&timer_, &QTimer::timeout, this, &ModalDriver::tick);
  timer_.start(kDriverTickMs);
}

void ModalDriver::tick() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal) {
    handled_ = nullptr;
    return;
  }
  if (modal == handled_) {
    // An action that failed halfway leaves its dialog open: close it, so that a failing
    // test ends instead of hanging.
    if (handledFor_.elapsed() > kStuckDialogMs) {
      unexpected_.append(QStringLiteral("stuck ") +
                         QString::fromLatin1(modal->metaObject()->className()));
      QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
      handledFor_.restart();
    }
    return;
  }
  handled_ = modal;
  handledFor_.restart();
  // A dialog that is kept and shown again counts as new once it has finished.
  if (auto* dialog = qobject_cast<QDialog*>(modal)) {
    connect(dialog, &QDialog::finished, this, [this] { handled_ = nullptr; },
            Qt::SingleShotConnection);
  }
  if (actions_.empty()) {
    unexpected_.append(QString::fromLatin1(modal->metaObject()->className()));
    QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    return;
  }
  Action action = std::move(actions_.front());
  actions_.pop_front();
  action(modal);
}

void clickLater(QWidget* button) {
  QMetaObject::invokeMethod(button, "click", Qt::QueuedConnection);
}

void answerPrompt(QWidget* modal, const QString& text) {
  auto* prompt = qobject_cast<QInputDialog*>(modal);
  if (!prompt) {
    QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    return;
  }
  prompt->setTextValue(text);
  QMetaObject::invokeMethod(prompt, "accept", Qt::QueuedConnection);
}

void cancelPrompt(QWidget* modal) {
  QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
}

void acknowledgeMessage(QWidget* modal, QString* text) {
  auto* box = qobject_cast<QMessageBox*>(modal);
  if (!box) {
    QMetaObject::invokeMethod(modal, "reject", Qt::QueuedConnection);
    return;
  }
  if (text) *text = box->text();
  if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
    clickLater(ok);
  } else {
    QMetaObject::invokeMethod(box, "accept", Qt::QueuedConnection);
  }
}

}  // namespace vexil::app::test
