#include "commtool/ui/tavrixdlg.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGuiApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>

#include <fmt/format.h>

#include "commtool/core/descriptors.h"
#include "commtool/core/texts.h"
#include "commtool/ui/aboutdlg.h"
#include "commtool/ui/sessiondlg.h"

namespace tavrix {
namespace {

constexpr int kFirstComIndex = 4;
constexpr int kTcpClient = 1;
constexpr int kUdpClient = 3;

QComboBox* dropDown(const char* name, const QStringList& items, int current, QWidget* parent) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromLatin1(name));
  box->addItems(items);
  box->setCurrentIndex(current);
  return box;
}

QStringList typeItems() {
  QStringList items = {QStringLiteral("TCP Server"), QStringLiteral("TCP Client"), QStringLiteral("UDP Server"),
                       QStringLiteral("UDP Client")};
  for (int n = 1; n <= 255; ++n) items << Qs(fmt::format("COM{}", n));
  return items;
}

QStringList baudItems() {
  QStringList items;
  for (const int baud : {110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 43000, 56000, 57600, 115200,
                         128000, 256000})
    items << Qs(fmt::format("{}", baud));
  return items;
}

}  // namespace

CTavrixDlg::CTavrixDlg(UiHooks hooks, QWidget* parent)
    : TerminalWindow(std::move(hooks), TerminalModel::kMainDisplayLimit, {"1040", "1041", 9}, parent) {
  setObjectName(QStringLiteral("102"));
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  setWindowFlags(windowFlags() | Qt::WindowMinMaxButtonsHint);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildSettingsFrame());
  layout->addWidget(modeFrame());
  layout->addWidget(splitter(), 1);
  layout->addWidget(statusBar());
  sendButton()->setEnabled(false);
  setControlsForType(0);

  // No system menu to extend here: the about box sits in the context menu and on F1.
  auto* about = new QAction(QStringLiteral("关于 Tavrix(&A)..."), this);
  about->setObjectName(QStringLiteral("16"));
  connect(about, &QAction::triggered, this, [this] { ShowAbout(); });
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  addAction(separator);
  addAction(about);
  setContextMenuPolicy(Qt::ActionsContextMenu);
  auto* f1 = new QShortcut(QKeySequence::HelpContents, this);
  connect(f1, &QShortcut::activated, this, [this] { ShowAbout(); });
  resize(760, 560);
}

CTavrixDlg::~CTavrixDlg() {
  serial_.Close();
  socket_.Close();
  for (CSessionDlg* session : std::vector<CSessionDlg*>(sessions_)) delete session;
}

QWidget* CTavrixDlg::buildSettingsFrame() {
  auto* frame = new QGroupBox(this);
  frame->setObjectName(QStringLiteral("1039"));
  type_ = dropDown("1022", typeItems(), 0, frame);
  type_->setMaxVisibleItems(20);
  address_ = new QLineEdit(Qs(hooks().localAddress ? hooks().localAddress() : std::string()), frame);
  address_->setObjectName(QStringLiteral("1037"));
  port_ = new QLineEdit(QStringLiteral("502"), frame);
  port_->setObjectName(QStringLiteral("1038"));
  baud_ = dropDown("1023", baudItems(), 6, frame);
  dataBits_ = dropDown("1025", {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")},
                       3, frame);
  parity_ = dropDown("1026",
                     {QStringLiteral("N 无"), QStringLiteral("O 奇"), QStringLiteral("E 偶"), QStringLiteral("M 标志"),
                      QStringLiteral("S 空格")},
                     0, frame);
  stopBits_ = dropDown("1024", {QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")}, 0, frame);
  rts_ = new QCheckBox(QStringLiteral("RTS"), frame);
  rts_->setObjectName(QStringLiteral("1019"));
  dtr_ = new QCheckBox(QStringLiteral("DTR"), frame);
  dtr_->setObjectName(QStringLiteral("1021"));
  openClose_ = new QPushButton(Qs(texts::kOpenPort), frame);
  openClose_->setObjectName(QStringLiteral("1003"));
  openClose_->setAutoDefault(false);

  auto* grid = new QGridLayout(frame);
  auto label = [frame](const char* text) { return new QLabel(QString::fromUtf8(text), frame); };
  grid->addWidget(label("类  型"), 0, 0);
  grid->addWidget(type_, 0, 1);
  grid->addWidget(label("IP地址"), 0, 2);
  grid->addWidget(address_, 0, 3);
  grid->addWidget(label("端  口"), 0, 4);
  grid->addWidget(port_, 0, 5);
  grid->addWidget(label("波特率"), 1, 0);
  grid->addWidget(baud_, 1, 1);
  grid->addWidget(label("数据位"), 1, 2);
  grid->addWidget(dataBits_, 1, 3);
  grid->addWidget(label("校验位"), 1, 4);
  grid->addWidget(parity_, 1, 5);
  grid->addWidget(label("停止位"), 1, 6);
  grid->addWidget(stopBits_, 1, 7);
  grid->addWidget(rts_, 0, 6);
  grid->addWidget(dtr_, 0, 7);
  grid->setColumnStretch(3, 1);
  grid->addWidget(openClose_, 0, 8, 2, 1);

  connect(type_, &QComboBox::currentIndexChanged, this, [this](int index) {
    guarded([&] {
      setControlsForType(index);
      input()->setFocus();
    });
  });
  connect(openClose_, &QPushButton::clicked, this, [this] { guarded([this] { openCloseClicked(); }); });
  connect(rts_, &QCheckBox::clicked, this, [this] { guarded([this] { modemLineClicked(); }); });
  connect(dtr_, &QCheckBox::clicked, this, [this] { guarded([this] { modemLineClicked(); }); });
  return frame;
}

void CTavrixDlg::setControlsForType(int index) {
  const bool serial = index >= kFirstComIndex;
  for (QWidget* w : std::initializer_list<QWidget*>{baud_, parity_, dataBits_, stopBits_, dtr_, rts_})
    w->setEnabled(serial);
  port_->setEnabled(!serial);
  address_->setEnabled(index == kTcpClient || index == kUdpClient);
}

void CTavrixDlg::openCloseClicked() {
  if (portOpen_)
    closePort();
  else
    openPort();
}

void CTavrixDlg::openPort() {
  const int index = type_->currentIndex();
  const bool serial = index >= kFirstComIndex;
  int port = index - 3;
  if (!serial) {
    const auto socketPort = ParsePort(port_->text().toStdString());
    if (!socketPort) {
      showMessage(texts::kBadPort);
      return;
    }
    port = *socketPort;
  }
  current_ = serial ? static_cast<CCommChannel*>(&serial_) : static_cast<CCommChannel*>(&socket_);
  const int protocol = index == 0 || index == kTcpClient ? kProtocolTcp : kProtocolUdp;
  const bool client = index == kTcpClient || index == kUdpClient;
  Owner().Clear();
  Model().ResetDecoder();
  Model().ResetCounters();
  if (!current_->Open(&Owner(), address_->text().toStdString(), protocol, client, port, baud_->currentText().toInt(),
                      parity_->currentIndex(), dataBits_->currentText().toInt(), stopBits_->currentIndex(), true,
                      true)) {
    if (!current_->OpenError().empty()) showMessage(current_->OpenError());
    return;
  }
  if (serial) {
    serial_.SetDTR(dtr_->isChecked());
    serial_.SetRTS(rts_->isChecked());
  } else {
    rts_->setEnabled(false);
    dtr_->setEnabled(false);
  }
  openClose_->setText(Qs(texts::kClosePort));
  portOpen_ = 1;
  sendButton()->setEnabled(true);
  for (QWidget* w : std::initializer_list<QWidget*>{type_, baud_, parity_, dataBits_, stopBits_, address_, port_})
    w->setEnabled(false);
  statePane()->setText(type_->currentText() + (serial ? QString() : QStringLiteral(" :") + port_->text()));
  input()->setFocus();
  flushDisplay();
}

void CTavrixDlg::closePort() {
  current_->Close();
  settleAfterClose();
  portOpen_ = 0;
  stopRepeat();
  openClose_->setText(Qs(texts::kOpenPort));
  setControlsForType(type_->currentIndex());
  type_->setEnabled(true);
  statePane()->clear();
}

void CTavrixDlg::connectionEnded() {
  const int index = type_->currentIndex();
  closePort();
  if (index == kTcpClient || index == kUdpClient)
    Model().ShowNote("断开服务器端(" + address_->text().toStdString() + ")");
  flushDisplay();
}

void CTavrixDlg::clientAccepted(UniqueFd socket, std::string peer) {
  // Checked again here: windows made since the accept thread looked have used descriptors.
  if (!RoomForConnection()) {
    socket.reset();
    Model().ShowNote(fmt::format(fmt::runtime(texts::kClientRefused), peer, DescriptorLimit()));
    return;
  }
  auto* session = new CSessionDlg(hooks(), this);
  if (!session->AttachSocket(std::move(socket), peer)) {
    delete session;
    return;
  }
  placeSession(*session);
  sessions_.push_back(session);
  connect(session, &QObject::destroyed, this, [this, session] { std::erase(sessions_, session); });
  session->show();
}

void CTavrixDlg::placeSession(CSessionDlg& session) const {
  if (sessions_.empty()) return;  // the first opens where the system puts it
  const CSessionDlg& newest = *sessions_.back();
  const int titleBar = newest.geometry().top() - newest.frameGeometry().top();
  const int step = titleBar > 0 ? titleBar : style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
  const QScreen* screen = newest.screen() != nullptr ? newest.screen() : QGuiApplication::primaryScreen();
  const QRect area = screen != nullptr ? screen->availableGeometry() : QRect();
  // A window not shown yet has no frame: moving it places its inside, so the
  // step is taken from the inside of the newest one too.
  QPoint next = newest.geometry().topLeft() + QPoint(step, step);
  const QRect frame = newest.frameGeometry().translated(next - newest.geometry().topLeft());
  if (area.isValid() && !area.contains(frame)) next = area.topLeft() + (newest.geometry().topLeft() - newest.pos());
  session.move(next);
}

void CTavrixDlg::modemLineClicked() {
  serial_.SetRTS(rts_->isChecked());
  serial_.SetDTR(dtr_->isChecked());
}

void CTavrixDlg::reject() {
  if (portOpen_) closePort();
  QDialog::reject();
}

void CTavrixDlg::ShowAbout() {
  CAboutDlg about(hooks().openUrl, this);
  about.exec();
}

}  // namespace tavrix
