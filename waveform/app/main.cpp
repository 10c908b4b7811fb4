#include "waveform/app/startup.h"

int main(int argc, char** argv) { return wave::RunQuenlor(argc, argv); }
