#include "waveform/app/single_instance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <sys/stat.h>
#include <unistd.h>

namespace wave {
namespace {

constexpr QByteArrayView kActivate = "activate\n";
// Short waits on a local socket; they only matter when the running instance
// is still starting up.
constexpr int kConnectAttempts = 3;
constexpr int kWaitMs = 1000;

}  // namespace

QString InstanceFolder(const QString& runtimeFolder, const QString& tempFolder, unsigned userId) {
  if (!runtimeFolder.isEmpty()) return runtimeFolder;
  return QDir(tempFolder).filePath(QStringLiteral("quenlor-%1").arg(userId));
}

QString UsableInstanceFolder(const QString& runtimeFolder, const QString& tempFolder, unsigned userId) {
  const QString folder = InstanceFolder(runtimeFolder, tempFolder, userId);
  if (!runtimeFolder.isEmpty()) return folder;
  const QByteArray path = QFile::encodeName(folder);
  ::mkdir(path.constData(), 0700);  // fails when it exists: then it is looked at as found
  struct stat st {};
  const bool isPrivate = ::lstat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == userId &&
                        (st.st_mode & 07777) == 0700;
  return isPrivate ? folder : QString();
}

QString DefaultInstanceFolder() {
  return UsableInstanceFolder(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation), QDir::tempPath(),
                              static_cast<unsigned>(::getuid()));
}

SingleInstance::SingleInstance(const QString& folder, const QString& name)
    : folder_(folder), name_(name), lock_(QDir(folder).filePath(name + QStringLiteral(".lock"))) {
  // A running instance holds the lock for as long as it runs: only a lock
  // whose process is gone is stale, never one that is merely old.
  lock_.setStaleLockTime(0);
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

SingleInstance::~SingleInstance() {
  server_.close();
  lock_.unlock();
}

QString SingleInstance::lockPath() const { return QDir(folder_).filePath(name_ + QStringLiteral(".lock")); }

QString SingleInstance::socketPath() const { return QDir(folder_).filePath(name_ + QStringLiteral(".socket")); }

SingleInstance::Role SingleInstance::start() {
  if (folder_.isEmpty()) return Role::Unguarded;
  QDir().mkpath(folder_);
  for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
    if (lock_.tryLock(0)) {
      if (listen()) return Role::Primary;
      // Without the socket nobody could reach us: let later instances run too.
      lock_.unlock();
      return Role::Unguarded;
    }
    if (lock_.error() != QLockFile::LockFailedError) return Role::Unguarded;
    if (tellRunningInstance()) return Role::Secondary;
    // The holder is alive but not listening yet (or it just ended): try again.
    QThread::msleep(100);
  }
  return Role::Secondary;
}

bool SingleInstance::listen() {
  // We hold the lock, so a socket file here was left by an instance that crashed.
  QLocalServer::removeServer(socketPath());
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  return server_.listen(socketPath());
}

bool SingleInstance::tellRunningInstance() {
  QLocalSocket socket;
  socket.connectToServer(socketPath());
  if (!socket.waitForConnected(kWaitMs)) return false;
  socket.write(kActivate.data(), kActivate.size());
  const bool written = socket.waitForBytesWritten(kWaitMs);
  socket.disconnectFromServer();
  return written;
}

void SingleInstance::acceptConnections() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto readRequest = [this, socket] {
      if (socket->bytesAvailable() < kActivate.size()) return;
      if (socket->read(kActivate.size()) == kActivate) Q_EMIT activateRequested();
      socket->disconnectFromServer();
    };
    connect(socket, &QLocalSocket::readyRead, this, readRequest);
    readRequest();
  }
}

}  // namespace wave
