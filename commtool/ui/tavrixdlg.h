#pragma once
// The main dialog: chooses a channel (TCP or UDP server or client, or a serial
// port), opens and closes it, and sends and shows like every terminal window.
// Each client of its TCP server gets a connection window of its own.

#include <vector>

#include "commtool/core/serialchannel.h"
#include "commtool/core/socketchannel.h"
#include "commtool/ui/terminalwindow.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace tavrix {

class CSessionDlg;

class CTavrixDlg : public TerminalWindow {
  Q_OBJECT

 public:
  explicit CTavrixDlg(UiHooks hooks, QWidget* parent = nullptr);
  ~CTavrixDlg() override;

  int PortOpen() const { return portOpen_; }
  const std::vector<CSessionDlg*>& Sessions() const { return sessions_; }
  CSocketChannel& SocketChannel() { return socket_; }
  CSerialChannel& SerialChannel() { return serial_; }
  void ShowAbout();

  void reject() override;

 protected:
  CCommChannel* channel() override { return current_; }
  bool canRepeat() const override { return portOpen_ != 0; }
  void connectionEnded() override;
  void clientAccepted(UniqueFd socket, std::string peer) override;

 private:
  QWidget* buildSettingsFrame();
  void setControlsForType(int index);
  void openCloseClicked();
  void openPort();
  void closePort();
  void modemLineClicked();
  // Connection windows cascade: each new one opens a title bar's height down
  // and right of the newest one still open, so that none hides another.
  void placeSession(CSessionDlg& session) const;

  CSerialChannel serial_;
  CSocketChannel socket_;
  CCommChannel* current_ = &socket_;
  int portOpen_ = 0;
  std::vector<CSessionDlg*> sessions_;

  QComboBox* type_ = nullptr;
  QLineEdit* address_ = nullptr;
  QLineEdit* port_ = nullptr;
  QComboBox* baud_ = nullptr;
  QComboBox* dataBits_ = nullptr;
  QComboBox* parity_ = nullptr;
  QComboBox* stopBits_ = nullptr;
  QCheckBox* rts_ = nullptr;
  QCheckBox* dtr_ = nullptr;
  QPushButton* openClose_ = nullptr;
};

}  // namespace tavrix
