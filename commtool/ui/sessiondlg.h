#pragma once
// One accepted TCP client of the main dialog's server: the same sending and
// display as the main dialog, on a channel of its own. The window frees
// itself when the connection ends or the user closes it.

#include "commtool/core/socketchannel.h"
#include "commtool/ui/terminalwindow.h"

namespace tavrix {

class CSessionDlg : public TerminalWindow {
  Q_OBJECT

 public:
  CSessionDlg(UiHooks hooks, QWidget* parent);
  ~CSessionDlg() override;

  // Adopts the accepted socket; false (and the socket closed) when it has no peer.
  bool AttachSocket(UniqueFd socket, const std::string& peer);
  CSocketChannel& Channel() { return channel_; }

 protected:
  CCommChannel* channel() override { return &channel_; }
  bool canRepeat() const override { return attached_; }
  void connectionEnded() override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override { close(); }

 private:
  CSocketChannel channel_;
  bool attached_ = false;
};

// "%s  Socket=0x%X"
std::string SessionTitle(const std::string& peer, int socket);

}  // namespace tavrix
