#include "../app/Main.h"

void TFORM_MAIN::UpdateSoftwareButtonClick() {}
