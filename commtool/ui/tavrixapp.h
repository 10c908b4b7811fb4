#pragma once

#include <QApplication>

namespace tavrix {

// Runs the main dialog; the program ends when it closes.
class CTavrixApp : public QApplication {
  Q_OBJECT

 public:
  CTavrixApp(int& argc, char** argv);
  int InitInstance();
};

}  // namespace tavrix
