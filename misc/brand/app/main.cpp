// vrbrd28: the branding tool's program entry.

#include "app/brand_module.h"
#include "app/startup.h"

int main(int argc, char** argv) { return WinMain(&vrBrandModule, argc, argv); }
