#pragma once
// One running program per user. The first instance holds a lock file and
// listens on a local socket beside it; a later one finds the lock taken, tells
// the running instance to come to the front, and ends. A lock left by a
// crashed instance is taken over (its process is gone), and so is the socket
// it left behind.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

namespace wave {

// Where this user's instance keeps its lock and socket: the runtime folder
// when there is one, else a folder named after the user id in the temp folder,
// which every user shares: instances of different users never meet.
QString InstanceFolder(const QString& runtimeFolder, const QString& tempFolder, unsigned userId);

// InstanceFolder when it can be trusted, else empty. A runtime folder is the
// user's own. The folder in the shared temp folder is used only when it is a
// folder (not a link) of userId with mode 0700, and it is made so when
// missing: another user could otherwise place a lock and a socket there that
// end every start.
QString UsableInstanceFolder(const QString& runtimeFolder, const QString& tempFolder, unsigned userId);

// UsableInstanceFolder for this process: the user's runtime folder
// ($XDG_RUNTIME_DIR, else a private folder that Qt makes for the user) and the
// system's temp folder.
QString DefaultInstanceFolder();

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  enum class Role {
    Primary,    // this is the one running instance
    Secondary,  // another instance runs; it was told to come to the front
    Unguarded,  // the lock could not be made (an unusable folder): run without guard
  };

  // folder holds name + ".lock" and the socket name + ".socket"; without a
  // folder (empty) the program runs unguarded.
  explicit SingleInstance(const QString& folder, const QString& name = QStringLiteral("quenlor"));
  ~SingleInstance() override;

  Role start();

  QString lockPath() const;
  QString socketPath() const;

 Q_SIGNALS:
  // A later instance asked this one to come to the front.
  void activateRequested();

 private:
  bool listen();
  bool tellRunningInstance();
  void acceptConnections();

  QString folder_;
  QString name_;
  QLockFile lock_;
  QLocalServer server_;
};

}  // namespace wave
