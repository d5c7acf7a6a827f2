#include "app/BrimlowApp.h"

wxIMPLEMENT_APP(CBrimlowApp);
