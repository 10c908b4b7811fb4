#pragma once
// A flat toggle button for the mode switches. Partners form a group in which
// exactly one is pressed; a button without partners toggles on each click.

#include <QPushButton>

#include <span>
#include <vector>

namespace tavrix {

class CFlatButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CFlatButton(bool pressed, const QString& text = QString(), QWidget* parent = nullptr);

  bool Pressed() const { return isChecked(); }
  bool Hover() const { return hover_; }
  void AddPartners(std::span<CFlatButton* const> buttons);
  const std::vector<CFlatButton*>& Partners() const { return partners_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void nextCheckState() override;

 private:
  void release();

  bool hover_ = false;
  std::vector<CFlatButton*> partners_;
};

}  // namespace tavrix
