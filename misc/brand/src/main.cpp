// vrbrd28: the branding tool's program entry.

#include "brand_module.h"
#include "startup.h"

int main(int argc, char** argv) { return WinMain(&vrBrandModule, argc, argv); }
