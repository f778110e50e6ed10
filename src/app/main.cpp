// Process entry of the velmora executable. Memory running out anywhere is the fatal
// runtime error through the handler that start-up installs (InstallOutOfMemoryHandler).
#include "app/startup.h"

int main(int argc, char** argv) { velmora::RunApplication(argc, argv); }
