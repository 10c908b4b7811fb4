#pragma once
// The program's start: the decimal separator, the single-instance guard, the
// long-lived forms in their order, then the message loop.

namespace wave {

int RunQuenlor(int argc, char** argv);

}  // namespace wave
