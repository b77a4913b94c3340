// veltrano: the camera application's entry point.
#include "VeltranoMain.h"

int main(int argc, char** argv) { return veltranoMain(argc, argv); }
