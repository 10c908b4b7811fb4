#include "waveform/print/print_preview.h"

#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>

#include <exception>

#include "common/arith.h"
#include "waveform/canvas/qpainter_canvas.h"
#include "common/forms/form_services.h"

namespace wave {

namespace {

constexpr int kPaperGap = 6;  // between the panel's edge and a paper that does not fit

}  // namespace

int PrintTextWidth(const Font& font, std::string_view text) {
  QFont f(forms::Utf8(font.name));
  f.setPixelSize(std::max(1, font.height));
  f.setBold(font.bold);
  return QFontMetrics(f).horizontalAdvance(forms::Utf8(text));
}

// --- TPaperPreview ---

TPaperPreview::TPaperPreview(QWidget* parent)
    : QWidget(parent), shadowColor_(FromQColor(palette().color(QPalette::Dark))) {
  setObjectName(QStringLiteral("PaperPreview"));
  setAttribute(Qt::WA_OpaquePaintEvent);  // it never erases its background
  resize(105 + 2 * borderSize_ + shadowSize_, 148 + 2 * borderSize_ + shadowSize_);
}

template <class T>
void TPaperPreview::set(T& field, T value) {
  if (field == value) return;
  field = value;
  update();
}

void TPaperPreview::setPaperColor(TColor colour) { set(paperColor_, colour); }
void TPaperPreview::setBorderColor(TColor colour) { set(borderColor_, colour); }
void TPaperPreview::setBorderSize(int size) { set(borderSize_, size); }
void TPaperPreview::setShadowColor(TColor colour) { set(shadowColor_, colour); }
void TPaperPreview::setShadowSize(int size) { set(shadowSize_, size); }

void TPaperPreview::setPaperWidth(int value) { resize(value + 2 * borderSize_ + shadowSize_, height()); }
void TPaperPreview::setPaperHeight(int value) { resize(width(), value + 2 * borderSize_ + shadowSize_); }

QRect TPaperPreview::pageRect() const {
  const int b = borderSize_, s = shadowSize_;
  return QRect(QPoint(b, b), QPoint(width() - (s + b) - 1, height() - (s + b) - 1));
}

void TPaperPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int w = width(), h = height(), s = shadowSize_, b = borderSize_;
  if (b != 0) {
    // The frame lies inside the rectangle (0, 0, w - s, h - s).
    const QColor frame = ToQColor(borderColor_);
    painter.fillRect(QRect(0, 0, w - s, b), frame);
    painter.fillRect(QRect(0, h - s - b, w - s, b), frame);
    painter.fillRect(QRect(0, 0, b, h - s), frame);
    painter.fillRect(QRect(w - s - b, 0, b, h - s), frame);
  }
  if (s != 0) {
    const QColor shadow = ToQColor(shadowColor_);
    painter.fillRect(QRect(QPoint(w - s, s), QPoint(w - 1, h - 1)), shadow);
    painter.fillRect(QRect(QPoint(s, h - s), QPoint(w - 1, h - 1)), shadow);
    const QColor own = palette().color(backgroundRole());
    painter.fillRect(QRect(QPoint(w - s, 0), QPoint(w - 1, s - 1)), own);
    painter.fillRect(QRect(QPoint(0, h - s), QPoint(s - 1, h - 1)), own);
  }
  const QRect page = pageRect();
  painter.fillRect(page, ToQColor(paperColor_));
  if (onPaint_) {
    painter.save();
    painter.setClipRect(page);
    onPaint_(painter, page);
    painter.restore();
  }
}

void TPaperPreview::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  Q_EMIT resized();
}

// --- TPrintPreview ---

TPrintPreview::TPrintPreview(QWidget* parent)
    : QFrame(parent),
      doc_(&PrintTextWidth),
      hbar_(new QScrollBar(Qt::Horizontal, this)),
      vbar_(new QScrollBar(Qt::Vertical, this)),
      panel_(new QWidget(this)),
      paper_(new TPaperPreview(panel_)) {
  setObjectName(QStringLiteral("PrintPreview"));
  setFrameShape(QFrame::Panel);
  setFrameShadow(QFrame::Raised);
  setFocusPolicy(Qt::StrongFocus);  // TabStop
  QFont f(QStringLiteral("Arial"));
  f.setPixelSize(doc_.font().height);
  setFont(f);
  hbar_->setSingleStep(8);
  hbar_->setFocusPolicy(Qt::NoFocus);
  vbar_->setSingleStep(8);
  vbar_->setFocusPolicy(Qt::NoFocus);
  panel_->setObjectName(QStringLiteral("PreviewPanel"));
  paper_->hide();
  paper_->setOnPaint([this](QPainter& painter, const QRect& rect) { paintPage(painter, rect); });

  doc_.events.OnChange = [this] {
    paper_->update();
    Q_EMIT changed();
  };
  doc_.events.OnLayout = [this] { UpdateZoom(); };
  doc_.events.OnPaperShown = [this](bool shown) { paper_->setVisible(shown); };
  connect(hbar_, &QScrollBar::valueChanged, this, [this] { scrolled(); });
  connect(vbar_, &QScrollBar::valueChanged, this, [this] { scrolled(); });
  UpdateZoom();
}

TPrintPreview::~TPrintPreview() {
  // The pages go without telling a window that is going too.
  doc_.events = {};
}

void TPrintPreview::paintPage(QPainter& painter, const QRect& pageRect) {
  const PreviewPage* page = nullptr;
  try {
    page = doc_.page(doc_.CurrentPage());  // recorded now when it is not kept
  } catch (const std::exception&) {
    // A page that cannot be drawn stays blank; printing it reports the error.
  }
  if (page == nullptr) return;
  const Rect target{pageRect.left(), pageRect.top(), pageRect.right() + 1, pageRect.bottom() + 1};
  QPainterCanvas canvas(painter, target);
  page->canvas.replay(canvas, page->mapOnto(target));
}

void TPrintPreview::placeChildren(bool horizontal, bool vertical) {
  const QRect area = contentsRect();
  const int barHeight = horizontal ? hbar_->sizeHint().height() : 0;
  const int barWidth = vertical ? vbar_->sizeHint().width() : 0;
  panel_->setGeometry(area.left(), area.top(), area.width() - barWidth, area.height() - barHeight);
  hbar_->setGeometry(area.left(), area.bottom() + 1 - barHeight, area.width() - barWidth, barHeight);
  vbar_->setGeometry(area.right() + 1 - barWidth, area.top(), barWidth, area.height() - barHeight);
  hbar_->setVisible(horizontal);
  vbar_->setVisible(vertical);
  hbar_->setPageStep(std::max(1, panel_->width()));
  vbar_->setPageStep(std::max(1, panel_->height()));
}

int TPrintPreview::ShownZoom() const {
  const int pixels = doc_.paperPixelWidth();
  if (pixels <= 0 || logicalDpiX() <= 0) return doc_.Zoom();
  return common::MulDiv(paper_->PaperWidth(), doc_.horizontalResolution() * 100, pixels * logicalDpiX());
}

void TPrintPreview::UpdateZoom() {
  const QSignalBlocker blockH(hbar_);
  const QSignalBlocker blockV(vbar_);
  hbar_->setRange(0, 0);
  vbar_->setRange(0, 0);
  const ScrollBarsShown bars = BarsWhileLayingOut(doc_.ZoomState());
  placeChildren(bars.horizontal, bars.vertical);

  PaperLayoutInput in;
  in.panelWidth = panel_->width();
  in.panelHeight = panel_->height();
  in.pixelWidth = doc_.paperPixelWidth();
  in.pixelHeight = doc_.paperPixelHeight();
  in.horizontalResolution = doc_.horizontalResolution();
  in.verticalResolution = doc_.verticalResolution();
  in.screenDpi = logicalDpiX();
  in.zoomState = doc_.ZoomState();
  in.zoom = doc_.Zoom();
  in.borderSize = paper_->BorderSize();
  in.shadowSize = paper_->ShadowSize();
  layout_ = LayoutPaper(in);

  hbar_->setRange(0, std::max(0, layout_.horizontalMax));
  vbar_->setRange(0, std::max(0, layout_.verticalMax));
  placeChildren(layout_.horizontalMax != 0, layout_.verticalMax != 0);
  paper_->setGeometry(layout_.left, layout_.top, layout_.width, layout_.height);
  paper_->update();
}

void TPrintPreview::scrolled() {
  const int left = hbar_->maximum() > 0 ? kPaperGap - hbar_->value() : layout_.left;
  const int top = vbar_->maximum() > 0 ? kPaperGap - vbar_->value() : layout_.top;
  paper_->move(left, top);
}

void TPrintPreview::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  UpdateZoom();
}

void TPrintPreview::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const bool plain = mods == Qt::NoModifier;
  const bool ctrl = mods == Qt::ControlModifier;
  if (!plain && !ctrl) {
    QFrame::keyPressEvent(event);
    return;
  }
  const auto step = [&](QScrollBar* bar, int sign) {
    bar->setValue(bar->value() + sign * (ctrl ? bar->pageStep() : bar->singleStep()));
  };
  switch (event->key()) {
    case Qt::Key_Home: (ctrl ? vbar_ : hbar_)->setValue((ctrl ? vbar_ : hbar_)->minimum()); break;
    case Qt::Key_End: (ctrl ? vbar_ : hbar_)->setValue((ctrl ? vbar_ : hbar_)->maximum()); break;
    case Qt::Key_Left: step(hbar_, +1); break;
    case Qt::Key_Right: step(hbar_, -1); break;
    case Qt::Key_Up: step(vbar_, -1); break;
    case Qt::Key_Down: step(vbar_, +1); break;
    case Qt::Key_PageUp: doc_.setCurrentPage(ctrl ? 1 : doc_.CurrentPage() - 1); break;
    case Qt::Key_PageDown: doc_.setCurrentPage(ctrl ? doc_.TotalPages() : doc_.CurrentPage() + 1); break;
    default: QFrame::keyPressEvent(event); return;
  }
  event->accept();
}

}  // namespace wave
