#include "commtool/ui/sessiondlg.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QSplitter>
#include <QStatusBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <fmt/format.h>

namespace tavrix {

std::string SessionTitle(const std::string& peer, int socket) { return fmt::format("{}  Socket=0x{:X}", peer, socket); }

CSessionDlg::CSessionDlg(UiHooks hooks, QWidget* parent)
    : TerminalWindow(std::move(hooks), 0, {"1039", "1040", 8}, parent) {
  setObjectName(QStringLiteral("132"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowFlags(Qt::Window);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(modeFrame());
  layout->addWidget(splitter(), 1);
  layout->addWidget(statusBar());
  resize(640, 480);
}

CSessionDlg::~CSessionDlg() { channel_.Close(); }

bool CSessionDlg::AttachSocket(UniqueFd socket, const std::string& peer) {
  channel_.SetOwner(&Owner());
  const int number = socket.get();
  attached_ = channel_.Attach(std::move(socket));
  if (!attached_) return false;
  setWindowTitle(Qs(SessionTitle(peer, number)));
  statePane()->setText(Qs(peer));
  return true;
}

void CSessionDlg::connectionEnded() { close(); }

void CSessionDlg::closeEvent(QCloseEvent* event) {
  stopRepeat();
  if (attached_) channel_.Close();
  attached_ = false;
  event->accept();
}

}  // namespace tavrix
