#pragma once
// TPrintPreview, the print-preview component: one page of its document at a
// time on a paper-like control (TPaperPreview) with border and shadow, zoomed
// and scrolled inside the component, with the keys of the table below.
//
//   key     plain                        Ctrl
//   Home    horizontal bar to its Min    vertical bar to its Min
//   End     horizontal bar to its Max    vertical bar to its Max
//   Left    horizontal + SmallChange     horizontal + LargeChange
//   Right   horizontal - SmallChange     horizontal - LargeChange
//   Up      vertical - SmallChange       vertical - LargeChange
//   Down    vertical + SmallChange       vertical + LargeChange
//   PgUp    page - 1                     first page
//   PgDn    page + 1                     last page

#include <QFrame>
#include <QWidget>

#include <functional>
#include <string_view>

#include "waveform/canvas/canvas.h"
#include "waveform/print/preview_document.h"

class QPainter;
class QScrollBar;

namespace wave {

// Text widths in the units of a page, from the font's metrics: what the
// recording canvases of the preview measure with.
int PrintTextWidth(const Font& font, std::string_view text);

class TPaperPreview : public QWidget {
  Q_OBJECT
 public:
  using PaintHandler = std::function<void(QPainter& painter, const QRect& pageRect)>;

  explicit TPaperPreview(QWidget* parent = nullptr);

  TColor PaperColor() const { return paperColor_; }
  void setPaperColor(TColor colour);
  TColor BorderColor() const { return borderColor_; }
  void setBorderColor(TColor colour);
  int BorderSize() const { return borderSize_; }
  void setBorderSize(int size);
  TColor ShadowColor() const { return shadowColor_; }
  void setShadowColor(TColor colour);
  int ShadowSize() const { return shadowSize_; }
  void setShadowSize(int size);
  // The page without frame and shadow; setting it sizes the control.
  int PaperWidth() const { return width() - 2 * borderSize_ - shadowSize_; }
  void setPaperWidth(int value);
  int PaperHeight() const { return height() - 2 * borderSize_ - shadowSize_; }
  void setPaperHeight(int value);

  // (BorderSize, BorderSize) to the frame's inner corner before the shadow.
  QRect pageRect() const;
  // OnPaint: draws the page inside the page rectangle (clipped to it).
  void setOnPaint(PaintHandler handler) { onPaint_ = std::move(handler); }

 Q_SIGNALS:
  void resized();  // OnResize

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  template <class T>
  void set(T& field, T value);

  TColor paperColor_ = 0xFFFFFF;
  TColor borderColor_ = 0x000000;
  int borderSize_ = 1;
  TColor shadowColor_;
  int shadowSize_ = 3;
  PaintHandler onPaint_;
};

class TPrintPreview : public QFrame {
  Q_OBJECT
 public:
  explicit TPrintPreview(QWidget* parent = nullptr);
  ~TPrintPreview() override;

  // The pages, paper and printing. The component uses the document's OnChange,
  // OnLayout and OnPaperShown events; its other events are free.
  PreviewDocument& document() { return doc_; }
  const PreviewDocument& document() const { return doc_; }

  // Lays the paper out again (zoom, size, paper changes call it).
  void UpdateZoom();
  // The zoom in percent at which the paper shows now, also when it is fitted
  // to the view.
  int ShownZoom() const;

  TPaperPreview* paper() const { return paper_; }
  QWidget* innerPanel() const { return panel_; }
  QScrollBar* horizontalBar() const { return hbar_; }
  QScrollBar* verticalBar() const { return vbar_; }

 Q_SIGNALS:
  void changed();  // OnChange: pages or the current page changed

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void paintPage(QPainter& painter, const QRect& pageRect);
  void placeChildren(bool horizontal, bool vertical);
  void scrolled();

  PreviewDocument doc_;
  QScrollBar* hbar_;
  QScrollBar* vbar_;
  QWidget* panel_;
  TPaperPreview* paper_;
  PaperLayout layout_;
};

}  // namespace wave
