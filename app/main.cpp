#include "app/startup.h"

int main(int argc, char** argv) { TqupdMain(argc, argv); }
