#include "app/driver.h"

int main(int argc, char** argv) { TqupdMain(argc, argv); }
