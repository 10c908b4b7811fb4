#include "commtool/ui/tavrixapp.h"

int main(int argc, char** argv) {
  tavrix::CTavrixApp app(argc, argv);
  return app.InitInstance();
}
