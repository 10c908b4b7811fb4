#include "waveform/app/single_instance.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QSignalSpy>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "common/other_user.h"
#include "waveform/app/test_support.h"

namespace wave {
namespace {

QString newFolder(const char* name) { return QString::fromStdString(test::NewFolder(name).string()); }

// The process id of a process that has ended.
pid_t endedProcess() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  int status = 0;
  waitpid(child, &status, 0);
  return child;
}

// A socket file with nobody listening, as a crashed instance leaves it.
void leaveDeadSocket(const QString& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray name = QFile::encodeName(path);
  ASSERT_LT(static_cast<std::size_t>(name.size()), sizeof(address.sun_path));
  std::memcpy(address.sun_path, name.constData(), static_cast<std::size_t>(name.size()));
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
  ::close(fd);
  ASSERT_EQ(bound, 0);
}

class SingleInstanceTest : public test::WithApplication, public ::testing::Test {};

TEST_F(SingleInstanceTest, SecondStartHandsOverAndEnds) {
  const QString folder = newFolder("instance");
  SingleInstance first(folder);
  ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
  QSignalSpy activations(&first, &SingleInstance::activateRequested);

  SingleInstance second(folder);
  EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
  EXPECT_TRUE(test::ProcessEventsUntil([&] { return activations.count() == 1; }));

  SingleInstance third(folder);
  EXPECT_EQ(third.start(), SingleInstance::Role::Secondary);
  EXPECT_TRUE(test::ProcessEventsUntil([&] { return activations.count() == 2; }));
}

TEST_F(SingleInstanceTest, NextStartAfterTheEndRunsAgain) {
  const QString folder = newFolder("instance");
  {
    SingleInstance first(folder);
    ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
  }
  SingleInstance next(folder);
  EXPECT_EQ(next.start(), SingleInstance::Role::Primary);
}

TEST_F(SingleInstanceTest, InstancesInOtherFoldersDoNotMeet) {
  SingleInstance mine(newFolder("user a"));
  SingleInstance theirs(newFolder("user b"));
  EXPECT_EQ(mine.start(), SingleInstance::Role::Primary);
  EXPECT_EQ(theirs.start(), SingleInstance::Role::Primary);
}

TEST(InstanceFolder, TheRuntimeFolderElseAFolderOfTheUserInTheTempFolder) {
  const struct {
    const char* runtime;
    unsigned user;
    const char* folder;
  } cases[] = {
      {"/run/user/1000", 1000, "/run/user/1000"},
      {"/run/user/1000", 1001, "/run/user/1000"},
      {"", 1000, "/tmp/quenlor-1000"},
      {"", 1001, "/tmp/quenlor-1001"},
      {"", 0, "/tmp/quenlor-0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(InstanceFolder(QString::fromLatin1(c.runtime), QStringLiteral("/tmp"), c.user),
              QString::fromLatin1(c.folder))
        << c.runtime << " " << c.user;
}

// Without runtime folders all users share the temp folder: one user's running
// instance must not end another user's start.
TEST_F(SingleInstanceTest, UsersWithoutRuntimeFolderDoNotMeetInTheTempFolder) {
  const QString temp = newFolder("shared temp");
  SingleInstance first(InstanceFolder(QString(), temp, 1000));
  SingleInstance otherUser(InstanceFolder(QString(), temp, 1001));
  ASSERT_EQ(first.start(), SingleInstance::Role::Primary);
  EXPECT_EQ(otherUser.start(), SingleInstance::Role::Primary);

  SingleInstance sameUser(InstanceFolder(QString(), temp, 1000));
  EXPECT_EQ(sameUser.start(), SingleInstance::Role::Secondary);
}

TEST_F(SingleInstanceTest, RecoversFromTheLockAndSocketOfACrashedInstance) {
  const QString folder = newFolder("crashed");
  QByteArray contents;
  {
    // The lock file exactly as a running instance writes it.
    SingleInstance model(newFolder("model"));
    ASSERT_EQ(model.start(), SingleInstance::Role::Primary);
    QFile lock(model.lockPath());
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    contents = lock.readAll();
  }
  SingleInstance survivor(folder);
  contents = QByteArray::number(endedProcess()) + contents.mid(contents.indexOf('\n'));
  QFile lock(survivor.lockPath());
  ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
  lock.write(contents);
  lock.close();
  leaveDeadSocket(survivor.socketPath());

  ASSERT_EQ(survivor.start(), SingleInstance::Role::Primary);
  QSignalSpy activations(&survivor, &SingleInstance::activateRequested);
  SingleInstance later(folder);
  EXPECT_EQ(later.start(), SingleInstance::Role::Secondary);
  EXPECT_TRUE(test::ProcessEventsUntil([&] { return activations.count() == 1; }));
}

TEST_F(SingleInstanceTest, ALongRunningInstanceKeepsItsLock) {
  const QString folder = newFolder("long run");
  SingleInstance running(folder);
  ASSERT_EQ(running.start(), SingleInstance::Role::Primary);
  // As if it had run for a day.
  const utimbuf dayAgo{time(nullptr) - 86400, time(nullptr) - 86400};
  ASSERT_EQ(utime(QFile::encodeName(running.lockPath()).constData(), &dayAgo), 0);

  SingleInstance second(folder);
  EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
}

// A folder like /tmp, in /tmp (reachable by every user): every user may make
// entries in it. Removed at the end.
class SharedTempFolder {
 public:
  SharedTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "quenlor-shared-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    ::chmod(path_.c_str(), 01777);
  }
  ~SharedTempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  SharedTempFolder(const SharedTempFolder&) = delete;
  SharedTempFolder& operator=(const SharedTempFolder&) = delete;
  QString path() const { return QString::fromStdString(path_); }

 private:
  std::string path_;
};

mode_t modeOf(const QString& path) {
  struct stat st {};
  return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

TEST_F(SingleInstanceTest, TheTempFolderFallbackIsUsedOnlyAsTheUsersPrivateFolder) {
  const unsigned me = static_cast<unsigned>(::getuid());
  // A runtime folder is the user's own: used as it is.
  EXPECT_EQ(UsableInstanceFolder(QStringLiteral("/run/user/1000"), QStringLiteral("/tmp"), 1000),
            QStringLiteral("/run/user/1000"));

  // Missing: made with mode 0700, and guarded.
  const SharedTempFolder shared;
  const QString temp = shared.path();
  const QString folder = UsableInstanceFolder(QString(), temp, me);
  ASSERT_EQ(folder, InstanceFolder(QString(), temp, me));
  EXPECT_EQ(modeOf(folder), 0700u);
  {
    SingleInstance first(folder);
    EXPECT_EQ(first.start(), SingleInstance::Role::Primary);
  }

  // Ours but open to others, or a link to a folder of ours: not used.
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
  EXPECT_EQ(UsableInstanceFolder(QString(), temp, me), QString());
  const SharedTempFolder otherShared;
  const QString other = otherShared.path();
  ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0700), 0);
  ASSERT_EQ(::symlink(QFile::encodeName(folder).constData(),
                      QFile::encodeName(InstanceFolder(QString(), other, me)).constData()),
            0);
  EXPECT_EQ(UsableInstanceFolder(QString(), other, me), QString());

  SingleInstance unguarded{QString()};
  EXPECT_EQ(unguarded.start(), SingleInstance::Role::Unguarded);
}

// Another user makes our folder in the shared temp folder, with a lock that
// names a live process and a socket nobody answers: it must not end our start.
TEST_F(SingleInstanceTest, AFolderAnotherUserPlantedInTheTempFolderIsNotTrusted) {
  if (const char* why = common::test::OtherUserUnavailable()) GTEST_SKIP() << why;
  QByteArray lockContents;
  {
    SingleInstance model(newFolder("model"));
    ASSERT_EQ(model.start(), SingleInstance::Role::Primary);
    QFile lock(model.lockPath());
    ASSERT_TRUE(lock.open(QIODevice::ReadOnly));
    lockContents = lock.readAll();  // names this process, which is alive
  }
  const SharedTempFolder shared;
  const QString temp = shared.path();
  const unsigned me = static_cast<unsigned>(::getuid());
  const QByteArray folder = QFile::encodeName(InstanceFolder(QString(), temp, me));
  const QByteArray lockPath = folder + "/quenlor.lock";
  const QByteArray socketPath = folder + "/quenlor.socket";
  ASSERT_TRUE(common::test::RunAsNobody([&] {
    if (::mkdir(folder.constData(), 0777) != 0 || ::chmod(folder.constData(), 0777) != 0) return false;
    const int fd = ::open(lockPath.constData(), O_CREAT | O_WRONLY, 0644);
    const bool written = fd >= 0 && ::write(fd, lockContents.constData(), static_cast<std::size_t>(lockContents.size())) ==
                                        static_cast<ssize_t>(lockContents.size());
    if (fd >= 0) ::close(fd);
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.constData(), static_cast<std::size_t>(socketPath.size()));
    const bool bound = ::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(listener);
    return written && bound;
  }));

  const QString usable = UsableInstanceFolder(QString(), temp, me);
  EXPECT_EQ(usable, QString());
  SingleInstance instance(usable);
  EXPECT_EQ(instance.start(), SingleInstance::Role::Unguarded);
}

}  // namespace
}  // namespace wave

namespace wave {
namespace {

// The program itself: a second start ends at once and leaves the first running.
TEST_F(SingleInstanceTest, SecondProgramStartEnds) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  const QString runtime = newFolder("runtime");
  QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));

  QProcess first;
  first.setProcessEnvironment(environment);
  first.start(QStringLiteral(QUENLOR_PROGRAM));
  ASSERT_TRUE(first.waitForStarted());
  const QString socket = SingleInstance(runtime).socketPath();
  ASSERT_TRUE(test::ProcessEventsUntil([&] { return QFile::exists(socket) || first.state() == QProcess::NotRunning; }));

  QProcess second;
  second.setProcessEnvironment(environment);
  second.start(QStringLiteral(QUENLOR_PROGRAM));
  EXPECT_TRUE(second.waitForFinished(30000));
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);
  EXPECT_EQ(first.state(), QProcess::Running);

  first.kill();
  first.waitForFinished();
}

}  // namespace
}  // namespace wave
