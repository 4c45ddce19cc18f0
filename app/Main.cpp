// The one application object of the program.
#include "app/TranslucentApp.h"

CTranslucentApp theApp;
